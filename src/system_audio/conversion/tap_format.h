#pragma once

#include <cstdint>

#include "system_audio/conversion/audio_types.h"
#include "system_audio/result.h"

namespace system_audio {

// Accepts 32-bit float linear PCM at 16000 Hz or more, reported in exactly
// 40 bytes. Writes the "coreaudio: tap format ..." diagnostic when the size is right.
Result<void> validate_tap_format(const AudioStreamBasicDescription& format, std::uint32_t size);

}  // namespace system_audio
