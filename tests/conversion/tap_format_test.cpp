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

struct FormatCase {
  double rate;
  std::uint32_t flags;
  std::uint32_t bits = 32;
  std::uint32_t id = kLpcm;
  std::uint32_t size = kFullSize;
  const char* error = "";  // empty: accepted
  // The diagnostic after "rate=": "" when none may be written, null: unchecked.
  const char* diagnostic = nullptr;
};

// NaN does not compare below 16000; the resampler later runs it as 16000.
const FormatCase kCases[] = {
    {48000.0, 9, 32, kLpcm, kFullSize, "", "48000 channels=2 flags=9 bits=32\n"},
    {48000.0, 41, 32, kLpcm, kFullSize, "", "48000 channels=2 flags=41 bits=32\n"},  // planar
    {44100.5, 9, 32, kLpcm, kFullSize, "", "44100.5 channels=2 flags=9 bits=32\n"},
    {std::numeric_limits<double>::quiet_NaN(), 9, 32, kLpcm, kFullSize, "",
     "NaN channels=2 flags=9 bits=32\n"},
    {16000.0, 1},
    {8000.0, 9, 32, kLpcm, kFullSize,
     "unsupported CoreAudio tap format: id=1819304813 flags=9 bits=32 rate=8000",
     "8000 channels=2 flags=9 bits=32\n"},
    {15999.5, 1, 32, kLpcm, kFullSize,
     "unsupported CoreAudio tap format: id=1819304813 flags=1 "
     "bits=32 rate=15999.5"},
    {48000.0, 12, 16, kLpcm, kFullSize,
     "unsupported CoreAudio tap format: id=1819304813 flags=12 bits=16 rate=48000",
     "48000 channels=2 flags=12 bits=16\n"},
    {48000.0, 9, 32, 0x61616320, kFullSize,  // 'aac '
     "unsupported CoreAudio tap format: id=1633772320 flags=9 bits=32 rate=48000"},
    {48000.0, 9, 64, kLpcm, kFullSize,
     "unsupported CoreAudio tap format: id=1819304813 flags=9 bits=64 rate=48000"},
    // 32 bits but integer: the float flag is bit 0.
    {48000.0, 8, 32, kLpcm, kFullSize,
     "unsupported CoreAudio tap format: id=1819304813 flags=8 bits=32 rate=48000"},
    {48000.0, 9, 32, kLpcm, 36, "CoreAudio returned an unexpected tap format size", ""},
    {48000.0, 9, 32, kLpcm, 44, "CoreAudio returned an unexpected tap format size", ""},
};

TEST(TapFormat, EachFormatIsAcceptedOrRejectedWithItsTextAfterTheDiagnostic) {
  for (const auto& c : kCases) {
    auto format = float_format(c.rate, c.flags);
    format.mBitsPerChannel = c.bits;
    format.mFormatID = c.id;
    StderrCapture capture;
    const auto result = validate_tap_format(format, c.size);
    const std::string diagnostics = capture.text();
    EXPECT_EQ(result ? std::string() : result.error(), c.error) << c.rate << " " << c.flags;
    if (c.diagnostic != nullptr) {
      EXPECT_EQ(diagnostics,
                c.diagnostic[0] ? "coreaudio: tap format rate=" + std::string(c.diagnostic) : "")
          << c.rate << " " << c.flags;
    }
  }
}

}  // namespace
}  // namespace system_audio
