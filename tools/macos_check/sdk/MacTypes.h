#pragma once
// Check-only: the MacTypes scalars the helper names. OSStatus, UInt32 and
// Float64 are checked against the macOS 14.2 SDK; UInt8, UInt64 and Boolean
// are not.

#include <stdint.h>

typedef uint8_t UInt8;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef double Float64;
typedef unsigned char Boolean;
typedef SInt32 OSStatus;
