#pragma once
// Check-only: process taps. Creating one takes a CATapDescription, so the
// declaration exists only for Objective-C (unverified: as the SDK guards it).
// https://developer.apple.com/documentation/coreaudio/audiohardwarecreateprocesstap(_:_:) (14.2+)

#include <CoreAudio/AudioHardware.h>

#ifdef __OBJC__
@class CATapDescription;
extern "C" OSStatus AudioHardwareCreateProcessTap(CATapDescription* inDescription,
                                                  AudioObjectID* outTapID);
#endif
