// The texts and bytes the conversion path hands on: tap format verdicts, PCM
// chunk bytes, Base64 and number texts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "system_audio/conversion/pcm_chunk.h"
#include "system_audio/conversion/tap_format.h"
#include "system_audio/frame/base64.h"
#include "system_audio/frame/number_text.h"

namespace system_audio {
namespace {

TEST(TapFormat, EachFormatIsAcceptedOrRejectedWithItsTextAfterTheDiagnostic) {
  constexpr std::uint32_t lpcm = 1819304813;
  const struct {
    double rate;
    std::uint32_t flags, bits = 32, id = lpcm, size = 40;
    std::string error = "";  // empty: accepted
  } rows[] = {
      {48000, 9},
      {48000, 41},  // non-interleaved
      {44100.5, 9},
      {NAN, 9},  // does not compare below 16000
      {16000, 1},
      {8000, 9, 32, lpcm, 40, "id=1819304813 flags=9 bits=32 rate=8000"},
      {15999.5, 1, 32, lpcm, 40, "id=1819304813 flags=1 bits=32 rate=15999.5"},
      {48000, 12, 16, lpcm, 40, "id=1819304813 flags=12 bits=16 rate=48000"},
      {48000, 9, 32, 0x61616320, 40, "id=1633772320 flags=9 bits=32 rate=48000"},
      {48000, 9, 64, lpcm, 40, "id=1819304813 flags=9 bits=64 rate=48000"},
      {48000, 8, 32, lpcm, 40, "id=1819304813 flags=8 bits=32 rate=48000"},  // integer
      {48000, 9, 32, lpcm, 36, "CoreAudio returned an unexpected tap format size"},
      {48000, 9, 32, lpcm, 44, "CoreAudio returned an unexpected tap format size"},
  };
  for (const auto& row : rows) {
    AudioStreamBasicDescription format{row.rate, row.id, row.flags, 8, 1, 8, 2, row.bits, 0};
    testing::internal::CaptureStderr();
    const auto result = validate_tap_format(format, row.size);
    const std::string diagnostic = testing::internal::GetCapturedStderr();
    const std::string prefix = "unsupported CoreAudio tap format: ";
    EXPECT_EQ(result ? "" : result.error(),
              row.error.empty() || row.size != 40 ? row.error : prefix + row.error);
    EXPECT_EQ(diagnostic, row.size != 40 ? ""
                                         : "coreaudio: tap format rate=" + format_f64(row.rate) +
                                               " channels=2 flags=" + std::to_string(row.flags) +
                                               " bits=" + std::to_string(row.bits) + "\n");
  }
}

TEST(Texts, NumbersAndBase64HaveTheirExactText) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  const std::pair<double, const char*> numbers[] = {
      {16000.0, "16000"}, {44100.5, "44100.5"},
      {0.1, "0.1"},       {-2.5, "-2.5"},
      {-0.0, "-0"},       {44099.999999999993, "44099.99999999999"},
      {NAN, "NaN"},       {inf, "inf"},
      {-inf, "-inf"},     {1e21, "1000000000000000000000"},
      {5e-7, "0.0000005"}};
  for (const auto& [value, text] : numbers) EXPECT_EQ(format_f64(value), text);

  const std::pair<std::string, std::string> base64[] = {
      {"", ""},        {"f", "Zg=="},          {"fo", "Zm8="},
      {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {std::string("\xfb\xff\xbf", 3), "+/+/"}};
  for (const auto& [bytes, text] : base64) {
    std::string out = "PCM ";
    append_base64(out, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    EXPECT_EQ(out, "PCM " + text);
  }
}

TEST(PcmChunk, SamplesAreLittleEndianBinary32WithEveryBitKept) {
  const std::vector<float> samples = {1.0f, -0.5f, std::bit_cast<float>(0xffa00001u), -0.0f};
  EXPECT_EQ(encode_pcm_chunk(samples),
            (PcmChunk{0, 0, 0x80, 0x3f, 0, 0, 0, 0xbf, 1, 0, 0xa0, 0xff, 0, 0, 0, 0x80}));
}

}  // namespace
}  // namespace system_audio
