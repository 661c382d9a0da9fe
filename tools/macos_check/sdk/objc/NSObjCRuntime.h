#pragma once
// Check-only: the integer types that <objc/NSObjCRuntime.h> gives plain C and
// C++ on LP64. NSInteger (long) is checked against the macOS 14.2 SDK;
// NSUInteger is not.

typedef long NSInteger;
typedef unsigned long NSUInteger;
