#pragma once

// What both backends use of the platform: basic types, CoreFoundation,
// Foundation objects, libdispatch, blocks and the audio buffer records. The
// backends are written once against these headers; a binding chosen at link
// time supplies the definitions: the audio-server stand-in on Linux, the
// scripted fake in tests, or a thin forwarding file over the real frameworks on
// macOS.
//
// Plain C names (types, functions, constants) are the platform's own, at global
// scope. On macOS the SDK headers declare them and the binding defines nothing
// for them; elsewhere this header declares them with the same spelling and
// layout, and the stand-in runtime defines them. What the platform spells as
// Objective-C lives in system_audio::apple: classes are opaque types,
// messages are functions spelled Class_selector_parts with the receiver first,
// and blocks are opaque pointers made by factories. On macOS the forwarding
// file defines exactly these, bridging each argument to its class.

#include <cstdint>

#include "system_audio/apple/core_audio_types.h"

#if defined(__APPLE__)
// macOS: the SDK declares every plain C name of this header.
#include <Block.h>
#include <CoreFoundation/CoreFoundation.h>
#include <dispatch/dispatch.h>
#include <objc/NSObjCRuntime.h>
#include <objc/objc.h>
#else

// ---- Basic types (MacTypes, objc) ---------------------------------------------------

using OSStatus = std::int32_t;
using UInt8 = std::uint8_t;
using UInt32 = std::uint32_t;
using SInt32 = std::int32_t;
using Float64 = double;
using Boolean = unsigned char;
using BOOL = bool;
using NSInteger = long;
using NSUInteger = unsigned long;

extern "C" {

// ---- CoreFoundation -----------------------------------------------------------------
// macOS: <CoreFoundation/CoreFoundation.h>. The runtime makes each object with
// one reference for the caller; containers made with the kCFType callbacks
// retain their elements.

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
CFTypeRef CFRetain(CFTypeRef cf);
void CFRelease(CFTypeRef cf);

// ---- libdispatch ----------------------------------------------------------------------
// macOS: <dispatch/dispatch.h>, used from C++ without Objective-C objects.

struct dispatch_queue_s;
struct dispatch_queue_attr_s;
using dispatch_queue_t = dispatch_queue_s*;
using dispatch_queue_attr_t = dispatch_queue_attr_s*;
#define DISPATCH_QUEUE_SERIAL nullptr

// nullptr when the queue cannot be made.
dispatch_queue_t dispatch_queue_create(const char* label, dispatch_queue_attr_t attr);
void dispatch_retain(dispatch_queue_t queue);
void dispatch_release(dispatch_queue_t queue);

// ---- Blocks runtime ---------------------------------------------------------------------
// macOS: <Block.h>. Every block type below is a pointer to an opaque record.

void* _Block_copy(const void* block);
void _Block_release(const void* block);

}  // extern "C"

#define Block_copy(...) ((decltype(__VA_ARGS__))_Block_copy((const void*)(__VA_ARGS__)))
#define Block_release(...) _Block_release((const void*)(__VA_ARGS__))

#endif  // !__APPLE__

namespace system_audio::apple {

constexpr UInt32 four_char_code(const char (&code)[5]) {
  return (UInt32(UInt8(code[0])) << 24) | (UInt32(UInt8(code[1])) << 16) |
         (UInt32(UInt8(code[2])) << 8) | UInt32(UInt8(code[3]));
}

// ---- Blocks -------------------------------------------------------------------------------
// Every block type is an opaque pointer under the platform's name, made by
//   <BlockType> <BlockType>_create(invoke, context, dispose)
// invoke: void (*)(void* context, the block's arguments...), called for each
// call of the block. dispose: void (*)(void* context) or null, called exactly
// once when the block's last reference goes, whether or not it ever ran: the
// block owns what context points to. A factory returns a heap block with one
// reference (released with Block_release), or nullptr when it cannot be made,
// having then disposed of the context at once.
// macOS: the forwarding file defines each factory as Block_copy of a literal
// that captures an owner of (context, dispose) and calls invoke.
using BlockDispose = void (*)(void* context);

// ---- Foundation ------------------------------------------------------------------------------
// macOS: messages in the forwarding file, each argument bridged to its class.
// Objects come with one reference for the caller unless a message says
// otherwise.

struct NSArray;
struct NSString;
struct NSError;

using NSStringEncoding = NSUInteger;
constexpr NSStringEncoding NSUTF8StringEncoding = 4;

// [NSArray new]
NSArray* NSArray_new();
// [[NSString alloc] initWithBytes:length:encoding:]; nil when the bytes do not decode.
NSString* NSString_alloc_initWithBytes_length_encoding(const void* bytes, NSUInteger length,
                                                       NSStringEncoding encoding);
// error.localizedDescription: borrowed, valid while the error lives. An
// NSString is toll-free bridged: its text reads with the CFString functions.
NSString* NSError_localizedDescription(NSError* error);
// [object retain] / [object release] for any Foundation object of these headers.
void NSObject_retain(const void* object);
void NSObject_release(const void* object);

}  // namespace system_audio::apple
