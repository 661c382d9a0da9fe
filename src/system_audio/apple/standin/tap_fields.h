#pragma once

// What a CATapDescription holds; the HAL bindings read it when a tap is made.

#include <cstddef>
#include <optional>
#include <string>

#include "system_audio/apple/standin/runtime.h"

namespace system_audio::standin {

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

std::string describe(const TapFields& tap);
// "CATapDescription{excluding 0, device \"uid\", stream 0, name \"n\", mixdown YES, ...}";
// "only 0" in place of "excluding 0" while exclusive is NO.
std::string content(const TapFields& tap);

}  // namespace system_audio::standin
