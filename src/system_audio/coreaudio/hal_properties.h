#pragma once

#include <optional>

#include "system_audio/apple/apple_ref.h"
#include "system_audio/apple/core_audio.h"
#include "system_audio/apple/core_audio_types.h"
#include "system_audio/result.h"

namespace system_audio {

// The four HAL property reads of the start. Each judges its status with status_ok
// and its own label; only the tap format read hands back the size the HAL wrote.
Result<AudioObjectID> read_default_output_device();
Result<CfRef<CFStringRef>> read_device_uid(AudioObjectID device);

struct TapFormat {
  AudioStreamBasicDescription format;
  UInt32 size;  // as reported by the HAL, checked by validate_tap_format
};
Result<TapFormat> read_tap_format(AudioObjectID tap);

Result<CfRef<CFStringRef>> read_tap_uid(AudioObjectID tap);

// The reads of a running capture, which judge what changed: a UInt32 of the
// global scope, nullopt when it cannot be read; a device that does not answer
// is not alive.
std::optional<UInt32> read_u32(AudioObjectID object, AudioObjectPropertySelector selector);
bool device_alive(AudioObjectID device);

}  // namespace system_audio
