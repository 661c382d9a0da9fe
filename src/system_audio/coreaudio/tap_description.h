#pragma once

#include "system_audio/apple/apple_ref.h"
#include "system_audio/apple/core_audio.h"
#include "system_audio/result.h"

namespace system_audio {

// A tap on stream 0 of the device, excluding the processes in exclusion_list.
Result<NsRef<apple::CATapDescription>> create_tap_description(apple::NSArray* exclusion_list,
                                                              apple::NSString* device_uid);

// Name, mono mixdown, exclusive, private, unmuted: in that order.
Result<void> configure_tap_description(apple::CATapDescription* description);

}  // namespace system_audio
