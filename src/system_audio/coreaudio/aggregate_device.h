#pragma once

#include "system_audio/coreaudio/platform_objects.h"
#include "system_audio/result.h"

namespace system_audio {

// The private aggregate device around the output device (uid, borrowed) and the
// tap: eight entries, owned by the caller. Reads the tap's UID on the way.
Result<CfRef<platform::CFDictionaryRef>> aggregate_device_description(platform::AudioObjectID tap,
                                                                      platform::CFStringRef uid);

}  // namespace system_audio
