#include "system_audio/apple/linux/hal_objects.h"

#include <cstdio>

namespace system_audio::pulse {

Result<std::shared_ptr<PulseConnection>> HalObjects::server() {
  if (connection && connection->alive()) return connection;
  connection.reset();
  auto fresh = PulseConnection::connect();
  if (!fresh) return fail(fresh.error());
  connection = *fresh;
  return connection;
}

AudioObjectID HalObjects::device_id(const std::string& sink_name) {
  const auto found = device_ids.find(sink_name);
  if (found != device_ids.end()) return found->second;
  const AudioObjectID id = new_id();
  device_ids.emplace(sink_name, id);
  device_names.emplace(id, sink_name);
  return id;
}

std::string HalObjects::new_uid() {
  const std::uint64_t high = uid_source();
  const std::uint64_t low = uid_source();
  char text[37];
  std::snprintf(text, sizeof(text), "%08X-%04X-%04X-%04X-%012llX", unsigned(high >> 32),
                unsigned((high >> 16) & 0xFFFF), unsigned(high & 0xFFFF), unsigned(low >> 48),
                static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
  return text;
}

OSStatus server_failed(const std::string& error) {
  if (auto handler = apple::audio_hardware_reason_handler.load()) {
    handler(("audio server: " + server_reason(error)).c_str());
  }
  return kAudioHardwareNotRunningError;
}

HalObjects& hal_objects() {
  static HalObjects* objects = new HalObjects();
  return *objects;
}

}  // namespace system_audio::pulse
