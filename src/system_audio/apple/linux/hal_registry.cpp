#include "system_audio/apple/linux/hal_registry.h"

#include <cstdio>

namespace system_audio::pulse {

IoProc::IoProc(AudioObjectID aggregate_id, AudioDeviceIOBlock io_block, dispatch_queue_t io_queue)
    : aggregate(aggregate_id),
      block(static_cast<AudioDeviceIOBlock>(Block_copy(io_block))),
      queue(io_queue) {
  dispatch_retain(queue);
}

IoProc::~IoProc() {
  stream.reset();
  Block_release(block);
  dispatch_release(queue);
}

namespace {

// The object for `key`, made on first sight and then kept, looked up both ways.
template <class Key>
AudioObjectID object_for(HalRegistry& registry, std::map<Key, AudioObjectID>& ids,
                         std::map<AudioObjectID, Key>& keys, const Key& key) {
  const auto found = ids.find(key);
  if (found != ids.end()) return found->second;
  const AudioObjectID id = registry.new_id();
  ids.emplace(key, id);
  keys.emplace(id, key);
  return id;
}

}  // namespace

AudioObjectID HalRegistry::device_id(const std::string& sink_name) {
  return object_for(*this, device_ids, device_names, sink_name);
}

AudioObjectID HalRegistry::process_id(pid_t pid) {
  return object_for(*this, process_ids, process_pids, pid);
}

std::string HalRegistry::new_uid() {
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

HalRegistry& hal_registry() {
  static HalRegistry* registry = new HalRegistry();
  return *registry;
}

}  // namespace system_audio::pulse
