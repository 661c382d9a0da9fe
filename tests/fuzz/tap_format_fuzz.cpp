// Any stream description of up to 40 bytes, reported with its own size: the
// tap format check accepts it or gives one of its two error texts, exactly.
#include "fuzz_target.h"
#include "system_audio/conversion/tap_format.h"
#include "system_audio/frame/number_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  AudioStreamBasicDescription format{};
  if (size > sizeof format) return 0;
  std::copy(data, data + size, reinterpret_cast<std::uint8_t*>(&format));
  const auto result =
      system_audio::validate_tap_format(format, static_cast<std::uint32_t>(size)).accepted;

  const bool accepted = size == 40 && format.mFormatID == 1819304813 &&
                        format.mBitsPerChannel == 32 && !(format.mSampleRate < 16000.0) &&
                        (format.mFormatFlags & 1) != 0;
  const std::string error =
      size != 40 ? "CoreAudio returned an unexpected tap format size"
                 : "unsupported CoreAudio tap format: id=" + std::to_string(format.mFormatID) +
                       " flags=" + std::to_string(format.mFormatFlags) +
                       " bits=" + std::to_string(format.mBitsPerChannel) +
                       " rate=" + system_audio::format_f64(format.mSampleRate);
  FUZZ_CHECK(accepted ? result.has_value() : !result && result.error() == error);
  return 0;
}
