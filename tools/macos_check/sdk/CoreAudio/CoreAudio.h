#pragma once
// Check-only umbrella, as <CoreAudio/CoreAudio.h>: it does not bring the tap
// headers (AudioHardwareTapping.h, CATapDescription.h), which are imported by
// name.
#include <CoreAudio/AudioHardware.h>
#include <CoreAudio/CoreAudioTypes.h>
