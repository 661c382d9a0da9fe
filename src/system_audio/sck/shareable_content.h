#pragma once

#include "system_audio/apple/apple_ref.h"
#include "system_audio/apple/screen_capture.h"
#include "system_audio/result.h"

namespace system_audio {

// Asks ScreenCaptureKit for the machine's shareable content and waits for the
// answer, 6 s at a time: the content (owned) or one of the content error texts.
Result<NsRef<apple::SCShareableContent>> current_shareable_content();

}  // namespace system_audio
