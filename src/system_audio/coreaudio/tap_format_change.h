#pragma once

#include "system_audio/coreaudio/capture_monitor.h"

namespace system_audio {

// The tap's format read again once its listener fired. A new rate gets a new
// conversion and the format diagnostic, a new channel count new tap buffers;
// a format that cannot be converted stops the conversion and is told once. A
// format that cannot be read says nothing: the tap went with its device, whose
// own listener tells it.
void follow_tap_format(CaptureMonitor& monitor);

}  // namespace system_audio
