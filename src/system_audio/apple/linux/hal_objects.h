#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "system_audio/apple/core_audio.h"
#include "system_audio/apple/linux/io_proc_runner.h"
#include "system_audio/apple/linux/pulse_connection.h"
#include "system_audio/apple/linux/sink_info.h"

namespace system_audio::pulse {

// A process tap: the monitor of one sink, in the tap's own channel count.
struct TapObject {
  std::string uid;
  std::string name;
  SinkInfo sink;
  std::uint8_t channels = 0;  // 1 for a mono mixdown, else the sink's count
};

struct AggregateObject {
  std::string uid;
  AudioObjectID tap = kAudioObjectUnknown;  // unknown once the tap is destroyed
  std::vector<std::unique_ptr<IoProcRunner>> io_procs;
};

// What the HAL knows in this process. HAL calls run one at a time under
// `mutex`; nothing on the server thread or an IO queue touches it.
struct HalObjects {
  std::mutex mutex;
  std::shared_ptr<PulseConnection> connection;
  // Sink name <-> device id, kept for the life of the process so that a sink
  // keeps its id.
  std::map<std::string, AudioObjectID> device_ids;
  std::map<AudioObjectID, std::string> device_names;
  std::map<AudioObjectID, TapObject> taps;
  std::map<AudioObjectID, AggregateObject> aggregates;
  AudioObjectID next_id = 100;
  std::mt19937_64 uid_source{std::random_device{}()};

  // The live connection, made anew when there is none or it has gone away.
  Result<std::shared_ptr<PulseConnection>> server();
  AudioObjectID device_id(const std::string& sink_name);
  AudioObjectID new_id() { return next_id++; }
  // A fresh UUID-shaped text.
  std::string new_uid();
};

// For a HAL call that could not reach or use the server: tells why on standard
// error, in the server's own words ("coreaudio: audio server: Connection
// refused"), since the HAL's status cannot; returns kAudioHardwareNotRunningError.
OSStatus server_failed(const std::string& error);

// The process-wide instance. Never destroyed: IO may outlive static
// destruction, and the helper ends by exit or signal with its device running.
HalObjects& hal_objects();

}  // namespace system_audio::pulse
