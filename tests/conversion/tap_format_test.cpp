#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "stderr_capture.h"
#include "system_audio/conversion/tap_format.h"

namespace system_audio {
namespace {

constexpr std::uint32_t kLpcm = 1819304813;
constexpr std::uint32_t kFullSize = 40;

AudioStreamBasicDescription float_format(double rate, std::uint32_t flags) {
  AudioStreamBasicDescription format{};
  format.mSampleRate = rate;
  format.mFormatID = kLpcm;
  format.mFormatFlags = flags;
  format.mBytesPerPacket = 8;
  format.mFramesPerPacket = 1;
  format.mBytesPerFrame = 8;
  format.mChannelsPerFrame = 2;
  format.mBitsPerChannel = 32;
  return format;
}

struct Checked {
  Result<void> result;
  std::string diagnostics;
};

Checked check(const AudioStreamBasicDescription& format, std::uint32_t size = kFullSize) {
  StderrCapture capture;
  auto result = validate_tap_format(format, size);
  return {std::move(result), capture.text()};
}

TEST(TapFormat, FloatStereoAt48kHzIsAcceptedInterleavedOrNot) {
  const auto packed = check(float_format(48000.0, 9));
  EXPECT_TRUE(packed.result.has_value());
  EXPECT_EQ(packed.diagnostics, "coreaudio: tap format rate=48000 channels=2 flags=9 bits=32\n");

  const auto planar = check(float_format(48000.0, 41));
  EXPECT_TRUE(planar.result.has_value());
  EXPECT_EQ(planar.diagnostics, "coreaudio: tap format rate=48000 channels=2 flags=41 bits=32\n");
}

TEST(TapFormat, RatesBelow16kHzAreRejectedAfterTheDiagnostic) {
  const auto low = check(float_format(8000.0, 9));
  ASSERT_FALSE(low.result.has_value());
  EXPECT_EQ(low.result.error(),
            "unsupported CoreAudio tap format: id=1819304813 flags=9 bits=32 rate=8000");
  EXPECT_EQ(low.diagnostics, "coreaudio: tap format rate=8000 channels=2 flags=9 bits=32\n");

  EXPECT_TRUE(check(float_format(16000.0, 1)).result.has_value());
  EXPECT_FALSE(check(float_format(15999.5, 1)).result.has_value());
}

TEST(TapFormat, IntegerSamplesAreRejectedWithTheFormatInTheMessage) {
  auto format = float_format(48000.0, 12);
  format.mBitsPerChannel = 16;
  const auto integer = check(format);
  ASSERT_FALSE(integer.result.has_value());
  EXPECT_EQ(integer.result.error(),
            "unsupported CoreAudio tap format: id=1819304813 flags=12 bits=16 rate=48000");
  EXPECT_EQ(integer.diagnostics, "coreaudio: tap format rate=48000 channels=2 flags=12 bits=16\n");
}

TEST(TapFormat, EachConditionRejectsOnItsOwn) {
  auto other_id = float_format(48000.0, 9);
  other_id.mFormatID = 0x61616320;  // 'aac '
  const auto id = check(other_id);
  ASSERT_FALSE(id.result.has_value());
  EXPECT_EQ(id.result.error(),
            "unsupported CoreAudio tap format: id=1633772320 flags=9 bits=32 rate=48000");

  auto wide = float_format(48000.0, 9);
  wide.mBitsPerChannel = 64;
  EXPECT_FALSE(check(wide).result.has_value());

  // 32 bits but integer: the float flag is bit 0.
  EXPECT_FALSE(check(float_format(48000.0, 8)).result.has_value());
}

TEST(TapFormat, FractionalRateIsPrintedInFull) {
  const auto result = check(float_format(44100.5, 9));
  EXPECT_TRUE(result.result.has_value());
  EXPECT_EQ(result.diagnostics, "coreaudio: tap format rate=44100.5 channels=2 flags=9 bits=32\n");
}

TEST(TapFormat, WrongSizeFailsWithoutADiagnostic) {
  const auto partial = check(float_format(48000.0, 9), 36);
  ASSERT_FALSE(partial.result.has_value());
  EXPECT_EQ(partial.result.error(), "CoreAudio returned an unexpected tap format size");
  EXPECT_EQ(partial.diagnostics, "");

  EXPECT_FALSE(check(float_format(48000.0, 9), 44).result.has_value());
}

// NaN does not compare below 16000; the resampler later runs it as 16000.
TEST(TapFormat, NotANumberRatePasses) {
  const auto nan = check(float_format(std::numeric_limits<double>::quiet_NaN(), 9));
  EXPECT_TRUE(nan.result.has_value());
  EXPECT_EQ(nan.diagnostics, "coreaudio: tap format rate=NaN channels=2 flags=9 bits=32\n");
}

}  // namespace
}  // namespace system_audio
