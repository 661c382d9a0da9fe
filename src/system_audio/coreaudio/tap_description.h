#pragma once

#include "system_audio/platform/core_audio.h"
#include "system_audio/platform/platform_ref.h"
#include "system_audio/result.h"

namespace system_audio {

// A tap on stream 0 of the device, excluding the processes in exclusion_list.
Result<NsRef<platform::CATapDescription>> create_tap_description(platform::NSArray* exclusion_list,
                                                                 platform::NSString* device_uid);

// Name, mono mixdown, exclusive, private, unmuted: in that order.
Result<void> configure_tap_description(platform::CATapDescription* description);

}  // namespace system_audio
