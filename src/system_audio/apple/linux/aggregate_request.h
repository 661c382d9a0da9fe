#pragma once

#include <expected>
#include <string>
#include <vector>

#include "system_audio/apple/core_audio.h"

namespace system_audio::pulse {

// What an aggregate device description asks for.
struct AggregateRequest {
  std::string uid;
  std::vector<std::string> tap_uids;
  std::vector<std::string> device_uids;
};

// Reads a description dictionary: a "uid" string, a "taps" array of
// dictionaries each with a "uid" string, a "subdevices" array of the same
// shape, and, when present, "name" and "master" strings. A description of any
// other shape is refused with kAudio_ParamError, as the HAL refuses it.
std::expected<AggregateRequest, OSStatus> read_aggregate_request(CFDictionaryRef description);

}  // namespace system_audio::pulse
