#pragma once

// The operations the coreaudio backend needs of CoreAudio, CoreFoundation,
// Foundation, libdispatch and the blocks runtime, under their platform names and
// with their platform ownership rules. The backend is written once against this
// header; a binding chosen at link time supplies the definitions: the audio
// server stand-in for Linux, the scripted fake for tests, or a thin forwarding
// file over the real frameworks on macOS. Objective-C messages are spelled
// Class_selector_parts, with the receiver as the first argument.

#include <cstdint>

#include "system_audio/conversion/audio_types.h"

namespace system_audio::platform {

// ---- Basic types -------------------------------------------------------------

using OSStatus = std::int32_t;
using UInt8 = std::uint8_t;
using UInt32 = std::uint32_t;
using SInt32 = std::int32_t;
using Boolean = unsigned char;
using BOOL = bool;
using NSInteger = long;
using NSUInteger = unsigned long;

constexpr UInt32 four_char_code(const char (&code)[5]) {
  return (UInt32(UInt8(code[0])) << 24) | (UInt32(UInt8(code[1])) << 16) |
         (UInt32(UInt8(code[2])) << 8) | UInt32(UInt8(code[3]));
}

// ---- CoreAudio HAL -----------------------------------------------------------

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
    four_char_code("dOut");
constexpr AudioObjectPropertySelector kAudioDevicePropertyDeviceUID = four_char_code("uid ");
constexpr AudioObjectPropertySelector kAudioTapPropertyFormat = four_char_code("tfmt");
constexpr AudioObjectPropertySelector kAudioTapPropertyUID = four_char_code("tuid");
constexpr AudioObjectPropertyScope kAudioObjectPropertyScopeGlobal = four_char_code("glob");
constexpr AudioObjectPropertyScope kAudioObjectPropertyScopeOutput = four_char_code("outp");
constexpr AudioObjectPropertyElement kAudioObjectPropertyElementMain = 0;

constexpr OSStatus kAudioHardwareNoError = 0;
constexpr OSStatus kAudioHardwareNotRunningError = OSStatus(four_char_code("stop"));
constexpr OSStatus kAudioHardwareUnspecifiedError = OSStatus(four_char_code("what"));
constexpr OSStatus kAudioHardwareUnknownPropertyError = OSStatus(four_char_code("who?"));
constexpr OSStatus kAudioHardwareBadPropertySizeError = OSStatus(four_char_code("!siz"));
constexpr OSStatus kAudioHardwareIllegalOperationError = OSStatus(four_char_code("nope"));
constexpr OSStatus kAudioHardwareBadObjectError = OSStatus(four_char_code("!obj"));
constexpr OSStatus kAudioHardwareBadDeviceError = OSStatus(four_char_code("!dev"));
constexpr OSStatus kAudio_ParamError = -50;

// Only passed through, never read by the helper.
struct AudioTimeStamp;

OSStatus AudioObjectGetPropertyData(AudioObjectID inObjectID,
                                    const AudioObjectPropertyAddress* inAddress,
                                    UInt32 inQualifierDataSize, const void* inQualifierData,
                                    UInt32* ioDataSize, void* outData);

// ---- CoreFoundation ----------------------------------------------------------

using CFIndex = long;
using CFTypeRef = const void*;
using CFStringEncoding = UInt32;
using CFNumberType = CFIndex;

struct CFRange {
  CFIndex location;
  CFIndex length;
};

struct __CFAllocator;
struct __CFString;
struct __CFNumber;
struct __CFBoolean;
struct __CFArray;
struct __CFDictionary;
using CFAllocatorRef = const __CFAllocator*;
using CFStringRef = const __CFString*;
using CFNumberRef = const __CFNumber*;
using CFBooleanRef = const __CFBoolean*;
using CFArrayRef = const __CFArray*;
using CFDictionaryRef = const __CFDictionary*;

struct CFArrayCallBacks;
struct CFDictionaryKeyCallBacks;
struct CFDictionaryValueCallBacks;

constexpr CFStringEncoding kCFStringEncodingUTF8 = 0x08000100;
constexpr CFNumberType kCFNumberSInt32Type = 3;

extern const CFAllocatorRef kCFAllocatorDefault;
extern const CFAllocatorRef kCFAllocatorNull;
extern const CFBooleanRef kCFBooleanTrue;
extern const CFBooleanRef kCFBooleanFalse;
extern const CFArrayCallBacks kCFTypeArrayCallBacks;
extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;

CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation);
CFStringRef CFStringCreateWithBytesNoCopy(CFAllocatorRef alloc, const UInt8* bytes,
                                          CFIndex numBytes, CFStringEncoding encoding,
                                          Boolean isExternalRepresentation,
                                          CFAllocatorRef contentsDeallocator);
CFIndex CFStringGetLength(CFStringRef theString);
CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding,
                         UInt8 lossByte, Boolean isExternalRepresentation, UInt8* buffer,
                         CFIndex maxBufLen, CFIndex* usedBufLen);
CFNumberRef CFNumberCreate(CFAllocatorRef allocator, CFNumberType theType, const void* valuePtr);
CFArrayRef CFArrayCreate(CFAllocatorRef allocator, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks);
CFDictionaryRef CFDictionaryCreate(CFAllocatorRef allocator, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks);
void CFRelease(CFTypeRef cf);

// ---- Foundation and the tap description --------------------------------------

struct NSArray;
struct NSString;
struct CATapDescription;

using NSStringEncoding = NSUInteger;
constexpr NSStringEncoding NSUTF8StringEncoding = 4;

enum CATapMuteBehavior : NSInteger {
  CATapUnmuted = 0,
  CATapMuted = 1,
  CATapMutedWhenTapped = 2,
};

// [NSArray new]
NSArray* NSArray_new();
// [[NSString alloc] initWithBytes:length:encoding:]; nil when the bytes do not decode.
NSString* NSString_alloc_initWithBytes_length_encoding(const void* bytes, NSUInteger length,
                                                       NSStringEncoding encoding);
// [object release] for any Foundation object of this header.
void NSObject_release(const void* object);

// [CATapDescription alloc]; nil where the process-tap API does not exist.
CATapDescription* CATapDescription_alloc();
// Consumes the allocated object; returns the initialised one or nil.
CATapDescription* CATapDescription_initExcludingProcesses_andDeviceUID_withStream(
    CATapDescription* self, NSArray* processes, NSString* deviceUID, NSInteger stream);
void CATapDescription_setName(CATapDescription* self, NSString* name);
void CATapDescription_setMixdown(CATapDescription* self, BOOL mixdown);
void CATapDescription_setMono(CATapDescription* self, BOOL mono);
void CATapDescription_setExclusive(CATapDescription* self, BOOL exclusive);
void CATapDescription_setPrivate(CATapDescription* self, BOOL isPrivate);
void CATapDescription_setMuteBehavior(CATapDescription* self, CATapMuteBehavior behavior);

OSStatus AudioHardwareCreateProcessTap(CATapDescription* inDescription, AudioObjectID* outTapID);
OSStatus AudioHardwareDestroyProcessTap(AudioObjectID inTapID);
OSStatus AudioHardwareCreateAggregateDevice(CFDictionaryRef inDescription,
                                            AudioObjectID* outDeviceID);
OSStatus AudioHardwareDestroyAggregateDevice(AudioObjectID inDeviceID);

// ---- libdispatch ---------------------------------------------------------------

struct dispatch_queue_s;
struct dispatch_queue_attr_s;
using dispatch_queue_t = dispatch_queue_s*;
using dispatch_queue_attr_t = dispatch_queue_attr_s*;
inline constexpr dispatch_queue_attr_t DISPATCH_QUEUE_SERIAL = nullptr;

// nullptr when the queue cannot be made.
dispatch_queue_t dispatch_queue_create(const char* label, dispatch_queue_attr_t attr);
void dispatch_release(dispatch_queue_t queue);

// ---- IO blocks and IOProcs -------------------------------------------------------

struct AudioDeviceIOBlock_s;
struct AudioDeviceIOProc_s;
using AudioDeviceIOBlock = AudioDeviceIOBlock_s*;
using AudioDeviceIOProcID = AudioDeviceIOProc_s*;

// The body of an IO block: the captured context, then the HAL's five arguments.
using AudioDeviceIOFunction = void (*)(void* context, const AudioTimeStamp* inNow,
                                       const AudioBufferList* inInputData,
                                       const AudioTimeStamp* inInputTime,
                                       AudioBufferList* outOutputData,
                                       const AudioTimeStamp* inOutputTime);

// A heap block whose only captured value is context; nullptr when it cannot be
// copied to the heap. Released with Block_release.
AudioDeviceIOBlock AudioDeviceIOBlock_create(AudioDeviceIOFunction function, void* context);
void Block_release(AudioDeviceIOBlock block);

OSStatus AudioDeviceCreateIOProcIDWithBlock(AudioDeviceIOProcID* outIOProcID,
                                            AudioObjectID inDevice,
                                            dispatch_queue_t inDispatchQueue,
                                            AudioDeviceIOBlock inIOBlock);
OSStatus AudioDeviceDestroyIOProcID(AudioObjectID inDevice, AudioDeviceIOProcID inIOProcID);
OSStatus AudioDeviceStart(AudioObjectID inDevice, AudioDeviceIOProcID inProcID);

}  // namespace system_audio::platform
