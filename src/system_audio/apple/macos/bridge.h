#pragma once

// Casts between the platform headers' opaque types and the framework classes.
// The binding uses manual reference counting (built with -fno-objc-arc): a
// cast moves no reference, and every retain and release is written out, as the
// headers' ownership rules say.

#include <objc/objc.h>

#if __has_feature(objc_arc)
#error "the macOS binding uses manual reference counting: build it with -fno-objc-arc"
#endif

namespace system_audio::macos {

// A framework object as the headers' opaque type.
template <class Platform>
Platform* to_platform(id object) {
  return static_cast<Platform*>(static_cast<void*>(object));
}

// An opaque pointer of the headers as the framework class it stands for.
template <class Class>
Class* to_class(const void* object) {
  return static_cast<Class*>(const_cast<void*>(object));
}

}  // namespace system_audio::macos
