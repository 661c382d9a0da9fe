#pragma once
// Check-only: the integer types that <objc/NSObjCRuntime.h> gives plain C and C++.
// https://developer.apple.com/documentation/objectivec/nsinteger
// https://developer.apple.com/documentation/objectivec/nsuinteger

typedef long NSInteger;
typedef unsigned long NSUInteger;
