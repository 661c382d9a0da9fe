#pragma once

#include "system_audio/conversion/audio_types.h"
#include "system_audio/coreaudio/platform_objects.h"
#include "system_audio/result.h"

namespace system_audio {

// The four HAL property reads of the start. Each judges its status with status_ok
// and its own label; only the tap format read hands back the size the HAL wrote.
Result<platform::AudioObjectID> read_default_output_device();
Result<CfRef<platform::CFStringRef>> read_device_uid(platform::AudioObjectID device);

struct TapFormat {
  AudioStreamBasicDescription format;
  platform::UInt32 size;  // as reported by the HAL, checked by validate_tap_format
};
Result<TapFormat> read_tap_format(platform::AudioObjectID tap);

Result<CfRef<platform::CFStringRef>> read_tap_uid(platform::AudioObjectID tap);

}  // namespace system_audio
