#pragma once

// The payloads of the CoreFoundation and Foundation objects and of the tap
// description. A CFString and an NSString share one payload, as do CFArray and
// NSArray (toll-free bridged).

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "system_audio/apple/standin/runtime.h"

namespace system_audio::standin {

struct StringPayload {
  std::u16string units;  // UTF-16, where an unpaired surrogate can stand
  bool ns = false;
};
struct NumberPayload {
  SInt32 value = 0;
};
struct BooleanPayload {
  bool value = false;
};
struct ArrayPayload {
  std::vector<Ref> items;
  bool ns = false;
};
struct DictionaryPayload {
  std::vector<std::pair<Ref, Ref>> entries;  // in creation order
};
struct ErrorPayload {
  Ref description;  // an NSString
};
// What a CATapDescription holds; the HAL bindings read it when a tap is made.
struct TapFields {
  bool initialised = false;
  // The processes tapped, or with exclusive YES those left out.
  std::size_t processes = 0;
  std::string device_uid;
  long stream = 0;
  std::optional<std::string> name;
  bool mixdown = false;
  bool mono = false;
  bool exclusive = false;
  bool is_private = false;
  long mute_behavior = 0;
};

const void* make_string(std::u16string units, bool ns);

}  // namespace system_audio::standin
