#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "system_audio/frame/base64.h"

namespace system_audio {
namespace {

std::string encode(std::string_view text) {
  std::string out;
  append_base64(out, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  return out;
}

std::string encode(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  append_base64(out, bytes);
  return out;
}

// A reference encoder that walks the bytes as one bit stream, six bits at a
// time, to check every character rather than a handful of vectors.
std::string reference(const std::vector<std::uint8_t>& bytes) {
  constexpr std::string_view alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t bit = 0; bit < 8 * bytes.size(); bit += 6) {
    unsigned value = 0;
    for (std::size_t k = bit; k < bit + 6; ++k) {
      const bool set = k < 8 * bytes.size() && (bytes[k / 8] >> (7 - k % 8)) & 1;
      value = value << 1 | (set ? 1 : 0);
    }
    out += alphabet[value];
  }
  while (out.size() % 4 != 0) out += '=';
  return out;
}

std::string repeated(std::string_view text, std::size_t times) {
  std::string out;
  while (times-- > 0) out += text;
  return out;
}

TEST(Base64Encoding, MatchesTheRfc4648TestVectorsAndCaptureChunks) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\x00\x00\x80\x3f", 4), "AACAPw=="},  // one sample
      // The chunk lengths of the capture callbacks: 170 and 171 samples.
      {std::string(680, '\xa5'), repeated("paWl", 226) + "paU="},
      {std::string(684, '\xa5'), repeated("paWl", 228)},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(encode(bytes), text);
}

TEST(Base64Encoding, AppendsAfterWhatIsAlreadyThere) {
  std::string line = "PCM ";
  const std::vector<std::uint8_t> bytes = {'f', 'o', 'o', 'b'};
  append_base64(line, bytes);
  EXPECT_EQ(line, "PCM Zm9vYg==");
  append_base64(line, {});
  EXPECT_EQ(line, "PCM Zm9vYg==");
}

TEST(Base64Encoding, RandomBlocksOfEveryLengthMatchABitByBitEncoding) {
  std::mt19937 random(4648);
  for (std::size_t length = 0; length <= 3000; ++length) {
    std::vector<std::uint8_t> bytes(length);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    ASSERT_EQ(encode(bytes), reference(bytes)) << "length " << length;
  }
}

}  // namespace
}  // namespace system_audio
