#pragma once
// Check-only: process taps. Creating one takes a CATapDescription, so these
// exist only for Objective-C (unverified: where the SDK declares the destroy
// call, and how it guards both).
// https://developer.apple.com/documentation/coreaudio/audiohardwarecreateprocesstap(_:_:) (14.2+)
// .../audiohardwaredestroyprocesstap(_:) (URL pattern; 14.2+, unverified)

#include <CoreAudio/AudioHardware.h>

#ifdef __OBJC__
@class CATapDescription;
extern "C" OSStatus AudioHardwareCreateProcessTap(CATapDescription* inDescription,
                                                  AudioObjectID* outTapID);
extern "C" OSStatus AudioHardwareDestroyProcessTap(AudioObjectID inTapID);
#endif
