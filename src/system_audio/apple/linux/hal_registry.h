#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "system_audio/apple/core_audio.h"
#include "system_audio/apple/linux/record_stream.h"
#include "system_audio/apple/linux/server_slot.h"
#include "system_audio/apple/linux/sink_info.h"

namespace system_audio::pulse {

// A process tap: the monitor of one sink, in the tap's own channel count.
struct TapObject {
  std::string uid;
  std::string name;
  SinkInfo sink;
  std::uint8_t channels = 0;  // 1 for a mono mixdown, else the sink's count
};

// An IOProc: its block and queue, one reference each while it exists, and once
// started the record stream whose blocks it is called with, on the stream's
// own thread, one at a time and in order, as a serial queue would call it.
// Going, it ends the stream first: after that the block is never called again.
struct IoProc {
  AudioObjectID aggregate;
  AudioDeviceIOBlock block;
  dispatch_queue_t queue;
  std::unique_ptr<RecordStream> stream;

  IoProc(AudioObjectID aggregate_id, AudioDeviceIOBlock io_block, dispatch_queue_t io_queue);
  IoProc(const IoProc&) = delete;
  IoProc& operator=(const IoProc&) = delete;
  ~IoProc();
  bool running() const { return stream != nullptr && !stream->failed(); }
};

struct AggregateObject {
  std::string uid;
  AudioObjectID tap = kAudioObjectUnknown;  // unknown once the tap is destroyed
  std::vector<std::unique_ptr<IoProc>> io_procs;
};

// What the HAL knows in this process. HAL calls run one at a time under
// `mutex`; nothing on the server's threads or a record stream's touches it.
struct HalRegistry {
  std::mutex mutex;
  ServerSlot server;
  // Sink name <-> device id, kept for the life of the process so that a sink
  // keeps its id.
  std::map<std::string, AudioObjectID> device_ids;
  std::map<AudioObjectID, std::string> device_names;
  std::map<AudioObjectID, TapObject> taps;
  std::map<AudioObjectID, AggregateObject> aggregates;
  // A process object for each process that played here, kept as a sink's id is.
  std::map<pid_t, AudioObjectID> process_ids;
  std::map<AudioObjectID, pid_t> process_pids;
  AudioObjectID next_id = 100;
  std::mt19937_64 uid_source{std::random_device{}()};

  AudioObjectID device_id(const std::string& sink_name);
  AudioObjectID process_id(pid_t pid);
  AudioObjectID new_id() { return next_id++; }
  // A fresh UUID-shaped text.
  std::string new_uid();
};

// For a HAL call that could not reach or use the server: tells why through the
// reason handler, in the server's own words ("audio server: Connection
// refused"), since the HAL's status cannot; returns kAudioHardwareNotRunningError.
OSStatus server_failed(const std::string& error);

// Queues a call of each listener added for that object and selector, as the
// HAL tells a property that changed.
void raise_property(AudioObjectID object, AudioObjectPropertySelector selector);

// The process-wide instance. Never destroyed: IO may outlive static
// destruction, and the helper ends by exit or signal with its device running.
HalRegistry& hal_registry();

}  // namespace system_audio::pulse
