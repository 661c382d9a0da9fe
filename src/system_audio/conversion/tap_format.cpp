#include "system_audio/conversion/tap_format.h"

#include <string>

#include "system_audio/frame/messages.h"
#include "system_audio/frame/number_text.h"

namespace system_audio {
namespace {

// The size of a whole AudioStreamBasicDescription; anything else is a partial record.
constexpr std::uint32_t kTapFormatSize = 40;
static_assert(sizeof(AudioStreamBasicDescription) == kTapFormatSize);

constexpr std::uint32_t kLinearPcm = 1819304813;  // 'lpcm'
constexpr std::uint32_t kFloatFlag = 1;           // kAudioFormatFlagIsFloat
constexpr std::uint32_t kFloatBits = 32;

}  // namespace

TapFormatCheck validate_tap_format(const AudioStreamBasicDescription& format, std::uint32_t size) {
  if (size != kTapFormatSize) {
    return {std::nullopt, fail("CoreAudio returned an unexpected tap format size")};
  }
  TapFormatCheck check{"coreaudio: tap format rate=" + format_f64(format.mSampleRate) +
                           " channels=" + std::to_string(format.mChannelsPerFrame) +
                           " flags=" + std::to_string(format.mFormatFlags) +
                           " bits=" + std::to_string(format.mBitsPerChannel),
                       {}};

  // A rate that is not a number does not compare below the target; the
  // resampler then treats it as the target rate.
  const bool accepted = format.mFormatID == kLinearPcm && format.mBitsPerChannel == kFloatBits &&
                        !(format.mSampleRate < TARGET_SAMPLE_RATE) &&
                        (format.mFormatFlags & kFloatFlag) != 0;
  if (!accepted) {
    check.accepted =
        fail("unsupported CoreAudio tap format: id=" + std::to_string(format.mFormatID) +
             " flags=" + std::to_string(format.mFormatFlags) + " bits=" +
             std::to_string(format.mBitsPerChannel) + " rate=" + format_f64(format.mSampleRate));
  }
  return check;
}

}  // namespace system_audio
