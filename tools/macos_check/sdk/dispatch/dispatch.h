#pragma once
// Check-only: the libdispatch calls the helper makes (macOS 10.6+), as C and
// C++ see them with OS_OBJECT_USE_OBJC=0: dispatch objects are plain pointers
// and need dispatch_retain/dispatch_release.

#include <stddef.h>

#ifndef OS_OBJECT_USE_OBJC
#define OS_OBJECT_USE_OBJC 0
#endif
#if OS_OBJECT_USE_OBJC
#error "this check models dispatch objects as C pointers: build with OS_OBJECT_USE_OBJC=0"
#endif

#ifdef __cplusplus
// In C++ every dispatch type converts to dispatch_object_t (the SDK's
// DISPATCH_DECL; how it is spelt there is not checked).
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

// DISPATCH_RETURNS_RETAINED: +1 for the caller.
dispatch_queue_t dispatch_queue_create(const char* _Nullable label,
                                       dispatch_queue_attr_t _Nullable attr);
void dispatch_retain(dispatch_object_t object);
void dispatch_release(dispatch_object_t object);

#ifdef __cplusplus
}
#endif
