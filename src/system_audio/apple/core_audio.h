#pragma once

// The CoreAudio HAL operations of the process-tap backend: property reads, the
// process tap and its description, aggregate devices, IOProc blocks and device
// start, with the platform's ownership rules. Every HAL call returns an
// OSStatus, 0 meaning success; after a non-zero status no out parameter is used.
// Property listeners tell of devices that go and of a default device or audio
// service that changes.

#include <sys/types.h>

#include <atomic>

#include "system_audio/apple/foundation.h"

#if defined(__APPLE__)
// macOS: the SDK declares every plain C name of this header.
#include <CoreAudio/AudioHardware.h>
#else

extern "C" {

// ---- HAL objects and properties --------------------------------------------------------
// macOS: <CoreAudio/AudioHardware.h>.

using AudioObjectID = UInt32;
using AudioObjectPropertySelector = UInt32;
using AudioObjectPropertyScope = UInt32;
using AudioObjectPropertyElement = UInt32;

struct AudioObjectPropertyAddress {
  AudioObjectPropertySelector mSelector;
  AudioObjectPropertyScope mScope;
  AudioObjectPropertyElement mElement;
};

constexpr AudioObjectID kAudioObjectUnknown = 0;
constexpr AudioObjectID kAudioObjectSystemObject = 1;

constexpr AudioObjectPropertySelector kAudioHardwarePropertyDefaultOutputDevice =
    system_audio::apple::four_char_code("dOut");
constexpr AudioObjectPropertySelector kAudioDevicePropertyDeviceUID =
    system_audio::apple::four_char_code("uid ");
constexpr AudioObjectPropertySelector kAudioTapPropertyFormat =
    system_audio::apple::four_char_code("tfmt");
constexpr AudioObjectPropertySelector kAudioTapPropertyUID =
    system_audio::apple::four_char_code("tuid");
// UInt32 on a device, 0 once it is gone.
constexpr AudioObjectPropertySelector kAudioDevicePropertyDeviceIsAlive =
    system_audio::apple::four_char_code("livn");
// Only notified, on the system object: the audio service restarted or was lost.
constexpr AudioObjectPropertySelector kAudioHardwarePropertyServiceRestarted =
    system_audio::apple::four_char_code("srst");
// UInt32 on a device, 1 while it runs IO in at least one process.
constexpr AudioObjectPropertySelector kAudioDevicePropertyDeviceIsRunningSomewhere =
    system_audio::apple::four_char_code("gone");
// On the system object: the process objects (AudioObjectID[]) of every client.
constexpr AudioObjectPropertySelector kAudioHardwarePropertyProcessObjectList =
    system_audio::apple::four_char_code("prs#");
// On a process object: its pid_t, and UInt32 1 while it runs IO with an
// active output stream.
constexpr AudioObjectPropertySelector kAudioProcessPropertyPID =
    system_audio::apple::four_char_code("ppid");
constexpr AudioObjectPropertySelector kAudioProcessPropertyIsRunningOutput =
    system_audio::apple::four_char_code("piro");
constexpr AudioObjectPropertyScope kAudioObjectPropertyScopeGlobal =
    system_audio::apple::four_char_code("glob");
constexpr AudioObjectPropertyScope kAudioObjectPropertyScopeOutput =
    system_audio::apple::four_char_code("outp");
constexpr AudioObjectPropertyElement kAudioObjectPropertyElementMain = 0;

constexpr OSStatus kAudioHardwareNoError = 0;
constexpr OSStatus kAudioHardwareNotRunningError =
    OSStatus(system_audio::apple::four_char_code("stop"));
constexpr OSStatus kAudioHardwareUnspecifiedError =
    OSStatus(system_audio::apple::four_char_code("what"));
constexpr OSStatus kAudioHardwareUnknownPropertyError =
    OSStatus(system_audio::apple::four_char_code("who?"));
constexpr OSStatus kAudioHardwareBadPropertySizeError =
    OSStatus(system_audio::apple::four_char_code("!siz"));
constexpr OSStatus kAudioHardwareIllegalOperationError =
    OSStatus(system_audio::apple::four_char_code("nope"));
constexpr OSStatus kAudioHardwareBadObjectError =
    OSStatus(system_audio::apple::four_char_code("!obj"));
constexpr OSStatus kAudioHardwareBadDeviceError =
    OSStatus(system_audio::apple::four_char_code("!dev"));
constexpr OSStatus kAudio_ParamError = -50;

// Only passed through, never read by the helper.
struct AudioTimeStamp;

OSStatus AudioObjectGetPropertyData(AudioObjectID inObjectID,
                                    const AudioObjectPropertyAddress* inAddress,
                                    UInt32 inQualifierDataSize, const void* inQualifierData,
                                    UInt32* ioDataSize, void* outData);
OSStatus AudioObjectGetPropertyDataSize(AudioObjectID inObjectID,
                                        const AudioObjectPropertyAddress* inAddress,
                                        UInt32 inQualifierDataSize, const void* inQualifierData,
                                        UInt32* outDataSize);

// ---- Property listeners ------------------------------------------------------------------
// macOS: the SDK's own calls and block type (void (^)(UInt32, const
// AudioObjectPropertyAddress*)), from <CoreAudio/AudioHardware.h>. The HAL copies the block and
// retains the queue until the listener is removed; removal takes the same object, address, queue
// and block. The block gets the addresses that changed, which may include ones it was not added
// for.

struct AudioObjectPropertyListenerBlock_s;
using AudioObjectPropertyListenerBlock = AudioObjectPropertyListenerBlock_s*;

OSStatus AudioObjectAddPropertyListenerBlock(AudioObjectID inObjectID,
                                             const AudioObjectPropertyAddress* inAddress,
                                             dispatch_queue_t inDispatchQueue,
                                             AudioObjectPropertyListenerBlock inListener);
OSStatus AudioObjectRemovePropertyListenerBlock(AudioObjectID inObjectID,
                                                const AudioObjectPropertyAddress* inAddress,
                                                dispatch_queue_t inDispatchQueue,
                                                AudioObjectPropertyListenerBlock inListener);

// ---- Aggregate devices -------------------------------------------------------------------

// The dictionary is not consumed: the caller still releases it.
OSStatus AudioHardwareCreateAggregateDevice(CFDictionaryRef inDescription,
                                            AudioObjectID* outDeviceID);
OSStatus AudioHardwareDestroyAggregateDevice(AudioObjectID inDeviceID);

// ---- IOProcs -----------------------------------------------------------------------------
// The HAL copies the block and retains the queue until the IOProc is destroyed.

struct AudioDeviceIOBlock_s;
struct AudioDeviceIOProc_s;
using AudioDeviceIOBlock = AudioDeviceIOBlock_s*;
using AudioDeviceIOProcID = AudioDeviceIOProc_s*;

OSStatus AudioDeviceCreateIOProcIDWithBlock(AudioDeviceIOProcID* outIOProcID,
                                            AudioObjectID inDevice,
                                            dispatch_queue_t inDispatchQueue,
                                            AudioDeviceIOBlock inIOBlock);
OSStatus AudioDeviceDestroyIOProcID(AudioObjectID inDevice, AudioDeviceIOProcID inIOProcID);
OSStatus AudioDeviceStart(AudioObjectID inDevice, AudioDeviceIOProcID inProcID);

}  // extern "C"

#endif  // !__APPLE__

namespace system_audio::apple {

// ---- Reasons a status cannot give (the helper's own, not Apple's) ----------------------
// A binding whose HAL call fails for a cause that no OSStatus names (over an
// audio server: the server's own words, "audio server: Connection refused")
// hands that text to the handler the program installed, if any, before the
// call returns. The macOS binding has nothing to add and never calls it.
using AudioHardwareReasonHandler = void (*)(const char* reason);
inline std::atomic<AudioHardwareReasonHandler> audio_hardware_reason_handler{nullptr};

// ---- The process tap --------------------------------------------------------------------
// An Objective-C class and two functions that take it. macOS: messages and
// the two tap calls in the forwarding file, the description bridged to
// CATapDescription*.

struct CATapDescription;

enum CATapMuteBehavior : NSInteger {
  CATapUnmuted = 0,
  CATapMuted = 1,
  CATapMutedWhenTapped = 2,
};

// [CATapDescription alloc]; nil where the process-tap API does not exist.
CATapDescription* CATapDescription_alloc();
// Consumes the allocated object; returns the initialised one or nil. The
// processes (object IDs) are those tapped, or with exclusive YES those left out.
CATapDescription* CATapDescription_initWithProcesses_andDeviceUID_withStream(CATapDescription* self,
                                                                             NSArray* processes,
                                                                             NSString* deviceUID,
                                                                             NSInteger stream);
void CATapDescription_setName(CATapDescription* self, NSString* name);
void CATapDescription_setMixdown(CATapDescription* self, BOOL mixdown);
void CATapDescription_setMono(CATapDescription* self, BOOL mono);
void CATapDescription_setExclusive(CATapDescription* self, BOOL exclusive);
void CATapDescription_setPrivate(CATapDescription* self, BOOL isPrivate);
void CATapDescription_setMuteBehavior(CATapDescription* self, CATapMuteBehavior behavior);

OSStatus AudioHardwareCreateProcessTap(CATapDescription* inDescription, AudioObjectID* outTapID);
OSStatus AudioHardwareDestroyProcessTap(AudioObjectID inTapID);

// ---- The IO block -----------------------------------------------------------------------
// Arguments as the HAL passes them: current time, input list, input time,
// output list, output time. macOS: a block factory of the forwarding file.
using AudioDeviceIOBlockInvoke = void (*)(void* context, const AudioTimeStamp* inNow,
                                          const AudioBufferList* inInputData,
                                          const AudioTimeStamp* inInputTime,
                                          AudioBufferList* outOutputData,
                                          const AudioTimeStamp* inOutputTime);
AudioDeviceIOBlock AudioDeviceIOBlock_create(AudioDeviceIOBlockInvoke invoke, void* context,
                                             BlockDispose dispose);

// ---- The property listener block --------------------------------------------------------
// Arguments as the HAL passes them: the number of addresses and the addresses.
// macOS: a block factory of the forwarding file; the Add and Remove calls and
// the selectors are the SDK's own.
using AudioObjectPropertyListenerBlockInvoke = void (*)(
    void* context, UInt32 inNumberAddresses, const AudioObjectPropertyAddress* inAddresses);
AudioObjectPropertyListenerBlock AudioObjectPropertyListenerBlock_create(
    AudioObjectPropertyListenerBlockInvoke invoke, void* context, BlockDispose dispose);

}  // namespace system_audio::apple
