#pragma once

#include "system_audio/apple/apple_ref.h"
#include "system_audio/apple/core_audio.h"
#include "system_audio/result.h"

namespace system_audio {

// The private aggregate device around the output device (uid, borrowed) and the
// tap: eight entries, owned by the caller. Reads the tap's UID on the way.
Result<CfRef<CFDictionaryRef>> aggregate_device_description(AudioObjectID tap, CFStringRef uid);

}  // namespace system_audio
