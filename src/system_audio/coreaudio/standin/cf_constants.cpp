// The CoreFoundation constants. The two CFBoolean values are immortal records
// that the registry recognises by address; releasing them does nothing.

#include "system_audio/coreaudio/standin/object_registry.h"

namespace system_audio::platform {

struct __CFAllocator {
  int tag;
};
struct CFArrayCallBacks {
  int tag;
};
struct CFDictionaryKeyCallBacks {
  int tag;
};
struct CFDictionaryValueCallBacks {
  int tag;
};

}  // namespace system_audio::platform

namespace system_audio::standin::detail {
namespace {

Object make_boolean(bool value) {
  Object object;
  object.kind = ObjectKind::cf_boolean;
  object.immortal = true;
  object.boolean = value;
  object.description = value ? "CFBoolean true" : "CFBoolean false";
  return object;
}

// Their addresses, all that a lookup compares, are fixed before any code runs.
Object true_record = make_boolean(true);
Object false_record = make_boolean(false);
const platform::__CFAllocator null_allocator{0};

}  // namespace

Object& true_object() {
  return true_record;
}
Object& false_object() {
  return false_record;
}

}  // namespace system_audio::standin::detail

namespace system_audio::platform {

// As on macOS, the default allocator is spelled as a null reference.
const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFAllocatorRef kCFAllocatorNull = &standin::detail::null_allocator;
const CFBooleanRef kCFBooleanTrue = reinterpret_cast<CFBooleanRef>(&standin::detail::true_record);
const CFBooleanRef kCFBooleanFalse = reinterpret_cast<CFBooleanRef>(&standin::detail::false_record);
const CFArrayCallBacks kCFTypeArrayCallBacks{1};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks{2};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks{3};

}  // namespace system_audio::platform
