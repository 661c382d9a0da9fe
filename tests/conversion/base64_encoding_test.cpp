#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
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

// A strict decoder written from the RFC's alphabet table, to check every
// character the encoder produces rather than a handful of vectors.
std::optional<std::vector<std::uint8_t>> decode(std::string_view text) {
  constexpr std::string_view alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (text.size() % 4 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  for (std::size_t at = 0; at < text.size(); at += 4) {
    const bool last = at + 4 == text.size();
    std::uint32_t group = 0;
    int padding = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[at + k];
      if (c == '=' && last && k >= 2) {
        ++padding;
        group <<= 6;
        continue;
      }
      const auto value = alphabet.find(c);
      if (value == std::string_view::npos || padding > 0) return std::nullopt;
      group = (group << 6) | static_cast<std::uint32_t>(value);
    }
    bytes.push_back(static_cast<std::uint8_t>(group >> 16));
    if (padding < 2) bytes.push_back(static_cast<std::uint8_t>(group >> 8));
    if (padding < 1) bytes.push_back(static_cast<std::uint8_t>(group));
  }
  return bytes;
}

TEST(Base64Encoding, MatchesTheRfc4648TestVectors) {
  EXPECT_EQ(encode(""), "");
  EXPECT_EQ(encode("f"), "Zg==");
  EXPECT_EQ(encode("fo"), "Zm8=");
  EXPECT_EQ(encode("foo"), "Zm9v");
  EXPECT_EQ(encode("foob"), "Zm9vYg==");
  EXPECT_EQ(encode("fooba"), "Zm9vYmE=");
  EXPECT_EQ(encode("foobar"), "Zm9vYmFy");
}

TEST(Base64Encoding, OneSampleChunkIsEightCharactersEndingInTwoPads) {
  const std::string text = encode(std::vector<std::uint8_t>{0x00, 0x00, 0x80, 0x3f});
  EXPECT_EQ(text, "AACAPw==");
}

TEST(Base64Encoding, ChunkLengthsOfTheCaptureCallbacks) {
  const std::string of_680 = encode(std::vector<std::uint8_t>(680, 0xa5));
  ASSERT_EQ(of_680.size(), 908u);
  EXPECT_EQ(of_680.substr(904), "paU=");

  const std::string of_684 = encode(std::vector<std::uint8_t>(684, 0xa5));
  ASSERT_EQ(of_684.size(), 912u);
  EXPECT_NE(of_684.back(), '=');
  EXPECT_EQ(of_684.find('='), std::string::npos);
}

TEST(Base64Encoding, AppendsAfterWhatIsAlreadyThere) {
  std::string line = "PCM ";
  const std::vector<std::uint8_t> bytes = {'f', 'o', 'o', 'b'};
  append_base64(line, bytes);
  EXPECT_EQ(line, "PCM Zm9vYg==");
  append_base64(line, {});
  EXPECT_EQ(line, "PCM Zm9vYg==");
}

TEST(Base64Encoding, RandomBlocksOfEveryLengthDecodeBack) {
  std::mt19937 random(4648);
  for (std::size_t length = 0; length <= 3000; ++length) {
    std::vector<std::uint8_t> bytes(length);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    const std::string text = encode(bytes);
    ASSERT_EQ(text.size(), 4 * ((length + 2) / 3));
    ASSERT_EQ(decode(text), bytes) << "length " << length;
  }
}

}  // namespace
}  // namespace system_audio
