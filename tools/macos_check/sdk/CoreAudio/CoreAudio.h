#pragma once
// Check-only umbrella, as <CoreAudio/CoreAudio.h> on macOS.
#include <CoreAudio/AudioHardware.h>
#include <CoreAudio/AudioHardwareTapping.h>
#include <CoreAudio/CATapDescription.h>
#include <CoreAudio/CoreAudioTypes.h>
