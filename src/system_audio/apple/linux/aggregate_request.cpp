#include "system_audio/apple/linux/aggregate_request.h"

#include <optional>

#include "system_audio/apple/standin/objects.h"

namespace system_audio::pulse {
namespace {

std::optional<std::string> string_value(const void* dictionary, std::string_view key) {
  return standin::text_of(standin::dictionary_value(dictionary, key));
}

// The "uid" of every dictionary in the array under key; nullopt when the array
// or any element is missing or of another shape.
std::optional<std::vector<std::string>> uid_list(const void* dictionary, std::string_view key) {
  const auto* array =
      standin::payload_of<standin::ArrayPayload>(standin::dictionary_value(dictionary, key));
  if (array == nullptr) return std::nullopt;
  std::vector<std::string> uids;
  for (const standin::Ref& item : array->items) {
    auto uid = string_value(item.object, "uid");
    if (!uid) return std::nullopt;
    uids.push_back(std::move(*uid));
  }
  return uids;
}

bool absent_or_string(const void* dictionary, std::string_view key) {
  const void* value = standin::dictionary_value(dictionary, key);
  return value == nullptr || standin::text_of(value);
}

}  // namespace

std::expected<AggregateRequest, OSStatus> read_aggregate_request(CFDictionaryRef description) {
  if (standin::payload_of<standin::DictionaryPayload>(description) == nullptr) {
    return std::unexpected(kAudio_ParamError);
  }
  AggregateRequest request;
  auto uid = string_value(description, "uid");
  if (!uid || uid->empty()) return std::unexpected(kAudio_ParamError);
  request.uid = std::move(*uid);
  auto taps = uid_list(description, "taps");
  auto devices = uid_list(description, "subdevices");
  if (!taps || !devices) return std::unexpected(kAudio_ParamError);
  if (!absent_or_string(description, "name") || !absent_or_string(description, "master")) {
    return std::unexpected(kAudio_ParamError);
  }
  request.tap_uids = std::move(*taps);
  request.device_uids = std::move(*devices);
  return request;
}

}  // namespace system_audio::pulse
