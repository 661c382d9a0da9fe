#pragma once

// CF containers built the way the backend builds them. The caller releases the result.

#include <string>
#include <utility>
#include <vector>

#include "system_audio/coreaudio/platform/coreaudio_platform.h"
#include "system_audio/coreaudio/standin/standin_runtime.h"

namespace cf_builders {

using namespace system_audio::platform;

inline CFArrayRef make_array(const std::vector<CFTypeRef>& items) {
  std::vector<const void*> values(items.begin(), items.end());
  return CFArrayCreate(nullptr, values.data(), CFIndex(values.size()), &kCFTypeArrayCallBacks);
}

// Values are borrowed: the dictionary takes its own references.
inline CFDictionaryRef make_dictionary(
    const std::vector<std::pair<std::string, CFTypeRef>>& entries) {
  std::vector<const void*> keys;
  std::vector<const void*> values;
  for (const auto& [key, value] : entries) {
    keys.push_back(system_audio::standin::make_cfstring(key));
    values.push_back(value);
  }
  CFDictionaryRef dictionary =
      CFDictionaryCreate(nullptr, keys.data(), values.data(), CFIndex(keys.size()),
                         &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  for (const void* key : keys) CFRelease(key);
  return dictionary;
}

inline void release_all(std::initializer_list<CFTypeRef> objects) {
  for (CFTypeRef object : objects) CFRelease(object);
}

}  // namespace cf_builders
