#pragma once
// Check-only: the libdispatch calls the helper makes, as C and C++ see them
// (OS_OBJECT_USE_OBJC=0: dispatch objects are plain pointers and need
// dispatch_retain/dispatch_release).
// https://developer.apple.com/documentation/dispatch/dispatch_queue_create(_:_:)
// man page dispatch_object(3): dispatch_retain, dispatch_release

#include <stddef.h>

#ifndef OS_OBJECT_USE_OBJC
#define OS_OBJECT_USE_OBJC 0
#endif
#if OS_OBJECT_USE_OBJC
#error "this check models dispatch objects as C pointers: build with OS_OBJECT_USE_OBJC=0"
#endif

#ifdef __cplusplus
// In C++ every dispatch type derives from dispatch_object_s, so any of them
// converts to dispatch_object_t (unverified: from the SDK's DISPATCH_DECL).
struct dispatch_object_s {};
struct dispatch_queue_s : dispatch_object_s {};
struct dispatch_queue_attr_s : dispatch_object_s {};
typedef dispatch_object_s* dispatch_object_t;
extern "C" {
#else
typedef struct dispatch_object_s* dispatch_object_t;
#endif
typedef struct dispatch_queue_s* dispatch_queue_t;
typedef struct dispatch_queue_attr_s* dispatch_queue_attr_t;

#define DISPATCH_QUEUE_SERIAL NULL

// +1 for the caller; macOS 10.6+ (unverified).
dispatch_queue_t dispatch_queue_create(const char* label, dispatch_queue_attr_t attr);
void dispatch_retain(dispatch_object_t object);
void dispatch_release(dispatch_object_t object);

#ifdef __cplusplus
}
#endif
