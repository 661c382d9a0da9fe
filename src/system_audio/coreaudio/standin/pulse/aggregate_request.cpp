#include "system_audio/coreaudio/standin/pulse/aggregate_request.h"

#include <optional>

#include "system_audio/coreaudio/standin/standin_runtime.h"

namespace system_audio::pulse {
namespace {

using platform::kAudio_ParamError;
using standin::ObjectKind;

std::optional<std::string> string_value(const void* dictionary, std::string_view key) {
  const void* value = standin::dictionary_value(dictionary, key);
  if (standin::kind_of(value) != ObjectKind::cf_string) return std::nullopt;
  return standin::text_of(value);
}

// The "uid" of every dictionary in the array under key; nullopt when the array
// or any element is missing or of another shape.
std::optional<std::vector<std::string>> uid_list(const void* dictionary, std::string_view key) {
  const void* array = standin::dictionary_value(dictionary, key);
  const auto kind = standin::kind_of(array);
  if (kind != ObjectKind::cf_array && kind != ObjectKind::ns_array) return std::nullopt;
  std::vector<std::string> uids;
  const std::size_t count = standin::array_count(array).value_or(0);
  for (std::size_t i = 0; i < count; ++i) {
    const void* item = standin::array_item(array, i);
    if (standin::kind_of(item) != ObjectKind::cf_dictionary) return std::nullopt;
    auto uid = string_value(item, "uid");
    if (!uid) return std::nullopt;
    uids.push_back(std::move(*uid));
  }
  return uids;
}

bool absent_or_string(const void* dictionary, std::string_view key) {
  const void* value = standin::dictionary_value(dictionary, key);
  return value == nullptr || standin::kind_of(value) == ObjectKind::cf_string;
}

}  // namespace

std::expected<AggregateRequest, platform::OSStatus> read_aggregate_request(
    platform::CFDictionaryRef description) {
  if (standin::kind_of(description) != ObjectKind::cf_dictionary) {
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
