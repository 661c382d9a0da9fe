#pragma once
// Check-only: the CoreFoundation names the helper uses. Create functions return
// one reference for the caller (release with CFRelease); the kCFType callbacks
// make containers retain their elements.

#include <MacTypes.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef signed long CFIndex;
typedef const void* CFTypeRef;
typedef UInt32 CFStringEncoding;
typedef CFIndex CFNumberType;

// https://developer.apple.com/documentation/corefoundation/cfrange
typedef struct {
  CFIndex location;
  CFIndex length;
} CFRange;

typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFNumber* CFNumberRef;
typedef const struct __CFBoolean* CFBooleanRef;
typedef const struct __CFArray* CFArrayRef;
typedef const struct __CFDictionary* CFDictionaryRef;

// Their fields are not used by the helper, which only passes their address.
// https://developer.apple.com/documentation/corefoundation/cfarraycallbacks
// https://developer.apple.com/documentation/corefoundation/cfdictionarykeycallbacks
// https://developer.apple.com/documentation/corefoundation/cfdictionaryvaluecallbacks
typedef struct CFArrayCallBacks CFArrayCallBacks;
typedef struct CFDictionaryKeyCallBacks CFDictionaryKeyCallBacks;
typedef struct CFDictionaryValueCallBacks CFDictionaryValueCallBacks;

// https://developer.apple.com/documentation/corefoundation/cfstringbuiltinencodings/utf8
// (value unverified)
#define kCFStringEncodingUTF8 ((CFStringEncoding)0x08000100)
// https://developer.apple.com/documentation/corefoundation/cfnumbertype/sint32type
// (value unverified)
#define kCFNumberSInt32Type ((CFNumberType)3)

// https://developer.apple.com/documentation/corefoundation/kcfallocatordefault
extern const CFAllocatorRef kCFAllocatorDefault;
// https://developer.apple.com/documentation/corefoundation/kcfallocatornull (unverified)
extern const CFAllocatorRef kCFAllocatorNull;
// https://developer.apple.com/documentation/corefoundation/kcfbooleantrue
extern const CFBooleanRef kCFBooleanTrue;
extern const CFBooleanRef kCFBooleanFalse;
// https://developer.apple.com/documentation/corefoundation/kcftypearraycallbacks
extern const CFArrayCallBacks kCFTypeArrayCallBacks;
// https://developer.apple.com/documentation/corefoundation/kcftypedictionarykeycallbacks
extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
// https://developer.apple.com/documentation/corefoundation/kcftypedictionaryvaluecallbacks
extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;

// https://developer.apple.com/documentation/corefoundation/cfstringcreatewithbytes(_:_:_:_:_:)
CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation);
// https://developer.apple.com/documentation/corefoundation/cfstringcreatewithbytesnocopy(_:_:_:_:_:_:)
// (unverified)
CFStringRef CFStringCreateWithBytesNoCopy(CFAllocatorRef alloc, const UInt8* bytes,
                                          CFIndex numBytes, CFStringEncoding encoding,
                                          Boolean isExternalRepresentation,
                                          CFAllocatorRef contentsDeallocator);
// https://developer.apple.com/documentation/corefoundation/cfstringgetlength(_:)
CFIndex CFStringGetLength(CFStringRef theString);
// https://developer.apple.com/documentation/corefoundation/cfstringgetbytes(_:_:_:_:_:_:_:_:)
CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding,
                         UInt8 lossByte, Boolean isExternalRepresentation, UInt8* buffer,
                         CFIndex maxBufLen, CFIndex* usedBufLen);
// https://developer.apple.com/documentation/corefoundation/cfstringgetmaximumsizeforencoding(_:_:)
CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);
// https://developer.apple.com/documentation/corefoundation/cfnumbercreate(_:_:_:)
CFNumberRef CFNumberCreate(CFAllocatorRef allocator, CFNumberType theType, const void* valuePtr);
// https://developer.apple.com/documentation/corefoundation/cfarraycreate(_:_:_:_:)
CFArrayRef CFArrayCreate(CFAllocatorRef allocator, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks);
// https://developer.apple.com/documentation/corefoundation/cfdictionarycreate(_:_:_:_:_:_:)
CFDictionaryRef CFDictionaryCreate(CFAllocatorRef allocator, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks);
// https://developer.apple.com/documentation/corefoundation/cfretain(_:)
CFTypeRef CFRetain(CFTypeRef cf);
// https://developer.apple.com/documentation/corefoundation/cfrelease(_:)
void CFRelease(CFTypeRef cf);

#ifdef __cplusplus
}
#endif
