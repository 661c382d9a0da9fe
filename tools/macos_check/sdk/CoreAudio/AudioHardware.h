#pragma once
// Check-only: what the helper uses of <CoreAudio/AudioHardware.h> and
// AudioHardwareBase.h in the macOS 14.2 SDK. Four-character codes are
// big-endian ASCII packed into a UInt32. Names marked "(not checked)" are not
// among the facts checked against the SDK; the rest are.

#include <CoreAudio/CoreAudioTypes.h>
#include <CoreFoundation/CoreFoundation.h>
#include <dispatch/dispatch.h>

typedef UInt32 AudioObjectID;
typedef AudioObjectID AudioDeviceID;
typedef UInt32 AudioObjectPropertySelector;
typedef UInt32 AudioObjectPropertyScope;
typedef UInt32 AudioObjectPropertyElement;

typedef struct AudioObjectPropertyAddress {
  AudioObjectPropertySelector mSelector;
  AudioObjectPropertyScope mScope;
  AudioObjectPropertyElement mElement;
} AudioObjectPropertyAddress;

// CF_ENUM(int): the system object's constant is an int, not an AudioObjectID.
enum : int { kAudioObjectSystemObject = 1 };
enum : AudioObjectID { kAudioObjectUnknown = 0 };  // (type not checked)

// CF_ENUM(AudioObjectPropertySelector), no availability marks of their own.
enum : AudioObjectPropertySelector {
  kAudioHardwarePropertyDefaultOutputDevice = 0x644F7574,          // 'dOut'  AudioObjectID
  kAudioHardwarePropertyServiceRestarted = 0x73727374,             // 'srst'  system object
  kAudioHardwarePropertyProcessObjectList = 0x70727323,            // 'prs#'  AudioObjectID[]
  kAudioHardwarePropertyTranslatePIDToProcessObject = 0x69643270,  // 'id2p'  pid_t -> id
  kAudioProcessPropertyPID = 0x70706964,                           // 'ppid'  pid_t
  kAudioProcessPropertyIsRunningOutput = 0x7069726F,               // 'piro'  UInt32
  kAudioDevicePropertyDeviceUID = 0x75696420,                      // 'uid '  CFString, +1
  kAudioDevicePropertyDeviceIsAlive = 0x6C69766E,                  // 'livn'  UInt32
  kAudioDevicePropertyDeviceIsRunningSomewhere = 0x676F6E65,       // 'gone'  UInt32
  kAudioTapPropertyFormat = 0x74666D74,                            // 'tfmt'  ASBD
  kAudioTapPropertyUID = 0x74756964,                               // 'tuid'  CFString, +1
};

enum : AudioObjectPropertyScope {
  kAudioObjectPropertyScopeGlobal = 0x676C6F62,  // 'glob'
  kAudioObjectPropertyScopeOutput = 0x6F757470,  // 'outp' (not checked)
};
enum : AudioObjectPropertyElement { kAudioObjectPropertyElementMain = 0 };

enum : OSStatus {
  kAudioHardwareNoError = 0,
  kAudioHardwareNotRunningError = 0x73746F70,        // 'stop'
  kAudioHardwareUnspecifiedError = 0x77686174,       // 'what'
  kAudioHardwareUnknownPropertyError = 0x77686F3F,   // 'who?'
  kAudioHardwareBadPropertySizeError = 0x2173697A,   // '!siz'
  kAudioHardwareIllegalOperationError = 0x6E6F7065,  // 'nope'
  kAudioHardwareBadObjectError = 0x216F626A,         // '!obj'
  kAudioHardwareBadDeviceError = 0x21646576,         // '!dev'
};

// Aggregate device description keys: C strings (#define), not CFStrings.
#define kAudioAggregateDeviceNameKey "name"
#define kAudioAggregateDeviceUIDKey "uid"
#define kAudioAggregateDeviceIsPrivateKey "private"
#define kAudioAggregateDeviceIsStackedKey "stacked"
#define kAudioAggregateDeviceSubDeviceListKey "subdevices"
#define kAudioAggregateDeviceMainSubDeviceKey "master"
#define kAudioAggregateDeviceTapListKey "taps"
#define kAudioAggregateDeviceTapAutoStartKey "tapautostart"
#define kAudioSubDeviceUIDKey "uid"
#define kAudioSubTapUIDKey "uid"
#define kAudioSubTapDriftCompensationKey "drift"

typedef void (^AudioDeviceIOBlock)(const AudioTimeStamp* inNow, const AudioBufferList* inInputData,
                                   const AudioTimeStamp* inInputTime,
                                   AudioBufferList* outOutputData,
                                   const AudioTimeStamp* inOutputTime);
typedef void (^AudioObjectPropertyListenerBlock)(UInt32 inNumberAddresses,
                                                 const AudioObjectPropertyAddress* inAddresses);

// A function-pointer type (its parameters not checked).
typedef OSStatus (*AudioDeviceIOProc)(AudioObjectID inDevice, const AudioTimeStamp* inNow,
                                      const AudioBufferList* inInputData,
                                      const AudioTimeStamp* inInputTime,
                                      AudioBufferList* outOutputData,
                                      const AudioTimeStamp* inOutputTime, void* inClientData);
typedef AudioDeviceIOProc AudioDeviceIOProcID;

#ifdef __cplusplus
extern "C" {
#endif

// macOS 10.4+.
OSStatus AudioObjectGetPropertyData(AudioObjectID inObjectID,
                                    const AudioObjectPropertyAddress* inAddress,
                                    UInt32 inQualifierDataSize,
                                    const void* _Nullable inQualifierData, UInt32* ioDataSize,
                                    void* outData);
OSStatus AudioObjectGetPropertyDataSize(AudioObjectID inObjectID,
                                        const AudioObjectPropertyAddress* inAddress,
                                        UInt32 inQualifierDataSize,
                                        const void* _Nullable inQualifierData, UInt32* outDataSize);

// macOS 10.7+. Add copies the block and retains the queue until Remove, which
// takes the same block and queue.
OSStatus AudioObjectAddPropertyListenerBlock(AudioObjectID inObjectID,
                                             const AudioObjectPropertyAddress* inAddress,
                                             dispatch_queue_t _Nullable inDispatchQueue,
                                             AudioObjectPropertyListenerBlock inListener);
OSStatus AudioObjectRemovePropertyListenerBlock(AudioObjectID inObjectID,
                                                const AudioObjectPropertyAddress* inAddress,
                                                dispatch_queue_t _Nullable inDispatchQueue,
                                                AudioObjectPropertyListenerBlock inListener);

// macOS 10.9+. The dictionary is not consumed.
OSStatus AudioHardwareCreateAggregateDevice(CFDictionaryRef inDescription,
                                            AudioObjectID* outDeviceID);
OSStatus AudioHardwareDestroyAggregateDevice(AudioObjectID inDeviceID);

// macOS 10.7+. The HAL copies the block and retains the queue until the
// IOProc is destroyed.
OSStatus AudioDeviceCreateIOProcIDWithBlock(AudioDeviceIOProcID _Nullable* outIOProcID,
                                            AudioObjectID inDevice,
                                            dispatch_queue_t _Nullable inDispatchQueue,
                                            AudioDeviceIOBlock inIOBlock);
// macOS 10.5+.
OSStatus AudioDeviceDestroyIOProcID(AudioObjectID inDevice, AudioDeviceIOProcID inIOProcID);
// macOS 10.0+.
OSStatus AudioDeviceStart(AudioObjectID inDevice, AudioDeviceIOProcID _Nullable inProcID);
OSStatus AudioDeviceStop(AudioObjectID inDevice, AudioDeviceIOProcID _Nullable inProcID);

#ifdef __cplusplus
}
#endif
