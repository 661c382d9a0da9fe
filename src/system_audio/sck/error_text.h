#pragma once

#include <string>

#include "system_audio/apple/foundation.h"

namespace system_audio {

// The error's localizedDescription as UTF-8, as it comes; "" for nil.
std::string error_description(apple::NSError* error);

// [object retain], for keeping what the platform only lends.
template <class T>
T* retained(T* object) {
  apple::NSObject_retain(object);
  return object;
}

}  // namespace system_audio
