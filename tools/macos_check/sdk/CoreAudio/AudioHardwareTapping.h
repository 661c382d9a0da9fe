#pragma once
// Check-only: <CoreAudio/AudioHardwareTapping.h> of the macOS 14.2 SDK. The
// whole header is inside #ifdef __OBJC__ and neither AudioHardware.h nor
// CoreAudio.h includes it: Objective-C++ imports it by name, plain C++ sees
// nothing of it. Both functions are API_AVAILABLE(macos(14.2)), without
// nullability annotations.

#ifdef __OBJC__
#include <CoreAudio/AudioHardware.h>

@class CATapDescription;

#ifdef __cplusplus
extern "C" {
#endif
OSStatus AudioHardwareCreateProcessTap(CATapDescription* inDescription, AudioObjectID* outTapID);
OSStatus AudioHardwareDestroyProcessTap(AudioObjectID inTapID);
#ifdef __cplusplus
}
#endif
#endif
