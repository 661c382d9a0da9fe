#pragma once

#include <string>

#include "system_audio/platform/foundation.h"

namespace system_audio {

// The error's localizedDescription as UTF-8, as it comes; "" for nil.
std::string error_description(platform::NSError* error);

// [object retain], for keeping what the platform only lends.
template <class T>
T* retained(T* object) {
  platform::NSObject_retain(object);
  return object;
}

}  // namespace system_audio
