#pragma once
// Check-only: the HAL functions, blocks and constants the helper uses.
// Four-character codes are big-endian ASCII packed into a UInt32.

#include <CoreAudio/CoreAudioTypes.h>
#include <CoreFoundation/CoreFoundation.h>
#include <dispatch/dispatch.h>

typedef UInt32 AudioObjectID;
typedef AudioObjectID AudioDeviceID;
typedef UInt32 AudioObjectPropertySelector;
typedef UInt32 AudioObjectPropertyScope;
typedef UInt32 AudioObjectPropertyElement;

// https://developer.apple.com/documentation/coreaudio/audioobjectpropertyaddress
struct AudioObjectPropertyAddress {
  AudioObjectPropertySelector mSelector;
  AudioObjectPropertyScope mScope;
  AudioObjectPropertyElement mElement;
};

// https://developer.apple.com/documentation/coreaudio/kaudioobjectsystemobject (value unverified)
enum : AudioObjectID { kAudioObjectUnknown = 0, kAudioObjectSystemObject = 1 };

// https://developer.apple.com/documentation/coreaudio/1545886-anonymous
// values from the objc2-core-audio constant pages
enum : AudioObjectPropertySelector {
  kAudioHardwarePropertyDefaultOutputDevice = 0x644F7574,  // 'dOut'
  kAudioDevicePropertyDeviceUID = 0x75696420,              // 'uid '
  kAudioTapPropertyFormat = 0x74666D74,                    // 'tfmt' (14.2+, unverified)
  kAudioTapPropertyUID = 0x74756964,                       // 'tuid' (14.2+, unverified)
  kAudioDevicePropertyDeviceIsAlive = 0x6C69766E,          // 'livn'
  kAudioHardwarePropertyServiceRestarted = 0x73727374,     // 'srst' (unverified)
};

// https://developer.apple.com/documentation/coreaudio/kaudioobjectpropertyelementmain
enum : AudioObjectPropertyScope {
  kAudioObjectPropertyScopeGlobal = 0x676C6F62,  // 'glob'
  kAudioObjectPropertyScopeOutput = 0x6F757470,  // 'outp' (unverified)
};
enum : AudioObjectPropertyElement { kAudioObjectPropertyElementMain = 0 };

// https://developer.apple.com/documentation/coreaudio/1494531-anonymous
enum : OSStatus {
  kAudioHardwareNoError = 0,
  kAudioHardwareNotRunningError = 0x73746F70,        // 'stop' (unverified)
  kAudioHardwareUnspecifiedError = 0x77686174,       // 'what'
  kAudioHardwareUnknownPropertyError = 0x77686F3F,   // 'who?'
  kAudioHardwareBadPropertySizeError = 0x2173697A,   // '!siz'
  kAudioHardwareIllegalOperationError = 0x6E6F7065,  // 'nope' (unverified)
  kAudioHardwareBadObjectError = 0x216F626A,         // '!obj'
  kAudioHardwareBadDeviceError = 0x21646576,         // '!dev'
};

// Aggregate device description keys: C strings, wrapped with CFSTR or a
// CFString create call.
// https://developer.apple.com/documentation/coreaudio/kaudioaggregatedeviceisstackedkey
#define kAudioAggregateDeviceNameKey "name"
#define kAudioAggregateDeviceUIDKey "uid"
#define kAudioAggregateDeviceIsPrivateKey "private"
#define kAudioAggregateDeviceIsStackedKey "stacked"
#define kAudioAggregateDeviceSubDeviceListKey "subdevices"
#define kAudioAggregateDeviceMainSubDeviceKey "master"       // (unverified string)
#define kAudioAggregateDeviceTapListKey "taps"               // (unverified string)
#define kAudioAggregateDeviceTapAutoStartKey "tapautostart"  // (unverified string)
#define kAudioSubDeviceUIDKey "uid"
#define kAudioSubTapUIDKey "uid"                  // (unverified string)
#define kAudioSubTapDriftCompensationKey "drift"  // (unverified string)

// https://developer.apple.com/documentation/coreaudio/audiodeviceioblock (10.7+, unverified)
typedef void (^AudioDeviceIOBlock)(const AudioTimeStamp* inNow, const AudioBufferList* inInputData,
                                   const AudioTimeStamp* inInputTime,
                                   AudioBufferList* outOutputData,
                                   const AudioTimeStamp* inOutputTime);
// https://developer.apple.com/documentation/coreaudio/audioobjectpropertylistenerblock
// (10.7+, unverified)
typedef void (^AudioObjectPropertyListenerBlock)(UInt32 inNumberAddresses,
                                                 const AudioObjectPropertyAddress* inAddresses);

// https://developer.apple.com/documentation/coreaudio/audiodeviceioproc (signature unverified)
typedef OSStatus (*AudioDeviceIOProc)(AudioObjectID inDevice, const AudioTimeStamp* inNow,
                                      const AudioBufferList* inInputData,
                                      const AudioTimeStamp* inInputTime,
                                      AudioBufferList* outOutputData,
                                      const AudioTimeStamp* inOutputTime, void* inClientData);
typedef AudioDeviceIOProc AudioDeviceIOProcID;

extern "C" {

// https://developer.apple.com/documentation/coreaudio/audioobjectgetpropertydata(_:_:_:_:_:_:)
OSStatus AudioObjectGetPropertyData(AudioObjectID inObjectID,
                                    const AudioObjectPropertyAddress* inAddress,
                                    UInt32 inQualifierDataSize, const void* inQualifierData,
                                    UInt32* ioDataSize, void* outData);
// https://developer.apple.com/documentation/coreaudio/audioobjectgetpropertydatasize(_:_:_:_:_:)
OSStatus AudioObjectGetPropertyDataSize(AudioObjectID inObjectID,
                                        const AudioObjectPropertyAddress* inAddress,
                                        UInt32 inQualifierDataSize, const void* inQualifierData,
                                        UInt32* outDataSize);
// https://developer.apple.com/documentation/coreaudio/audioobjectaddpropertylistenerblock(_:_:_:_:)
// (URL pattern, unverified)
OSStatus AudioObjectAddPropertyListenerBlock(AudioObjectID inObjectID,
                                             const AudioObjectPropertyAddress* inAddress,
                                             dispatch_queue_t inDispatchQueue,
                                             AudioObjectPropertyListenerBlock inListener);
OSStatus AudioObjectRemovePropertyListenerBlock(AudioObjectID inObjectID,
                                                const AudioObjectPropertyAddress* inAddress,
                                                dispatch_queue_t inDispatchQueue,
                                                AudioObjectPropertyListenerBlock inListener);

// https://developer.apple.com/tutorials/data/documentation/coreaudio/audiohardwarecreateaggregatedevice(_:_:).md
// The dictionary is not consumed.
OSStatus AudioHardwareCreateAggregateDevice(CFDictionaryRef inDescription,
                                            AudioObjectID* outDeviceID);
// .../audiohardwaredestroyaggregatedevice(_:) (URL pattern, unverified)
OSStatus AudioHardwareDestroyAggregateDevice(AudioObjectID inDeviceID);

// https://developer.apple.com/documentation/coreaudio/audiodevicecreateioprocidwithblock(_:_:_:_:)
// The HAL copies the block and retains the queue until the IOProc is destroyed.
OSStatus AudioDeviceCreateIOProcIDWithBlock(AudioDeviceIOProcID* outIOProcID,
                                            AudioObjectID inDevice,
                                            dispatch_queue_t inDispatchQueue,
                                            AudioDeviceIOBlock inIOBlock);
// https://developer.apple.com/documentation/coreaudio/audiodevicedestroyioprocid(_:_:)
OSStatus AudioDeviceDestroyIOProcID(AudioObjectID inDevice, AudioDeviceIOProcID inIOProcID);
// https://developer.apple.com/documentation/coreaudio/audiodevicestart(_:_:)
OSStatus AudioDeviceStart(AudioObjectID inDevice, AudioDeviceIOProcID inProcID);
// https://developer.apple.com/documentation/coreaudio/audiodevicestop(_:_:)
OSStatus AudioDeviceStop(AudioObjectID inDevice, AudioDeviceIOProcID inProcID);

}  // extern "C"
