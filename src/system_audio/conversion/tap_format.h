#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "system_audio/apple/core_audio_types.h"
#include "system_audio/result.h"

namespace system_audio {

struct TapFormatCheck {
  // "coreaudio: tap format ...": what was read, for the caller to write; none
  // for a record of the wrong size.
  std::optional<std::string> diagnostic;
  Result<void> accepted;
};

// Accepts 32-bit float linear PCM at 16000 Hz or more, reported in exactly 40 bytes.
TapFormatCheck validate_tap_format(const AudioStreamBasicDescription& format, std::uint32_t size);

}  // namespace system_audio
