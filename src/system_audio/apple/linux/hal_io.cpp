// IOProcs over the audio server: an IOProc registered on an aggregate device
// runs, once started, on a record stream of the aggregate's tap.

#include <algorithm>

#include "system_audio/apple/linux/hal_registry.h"
#include "system_audio/apple/standin/runtime.h"

using namespace system_audio;

namespace {

using pulse::IoProc;

AudioDeviceIOProcID id_of(const IoProc* io_proc) {
  return reinterpret_cast<AudioDeviceIOProcID>(const_cast<IoProc*>(io_proc));
}

// The IOProc's place in its aggregate's list, compared by address only: an id
// that was never handed out is not dereferenced.
auto find_io_proc(pulse::AggregateObject& aggregate, AudioDeviceIOProcID id) {
  return std::find_if(aggregate.io_procs.begin(), aggregate.io_procs.end(),
                      [id](const auto& io_proc) { return id_of(io_proc.get()) == id; });
}

// Devices that exist but run no IOProcs here (the sinks themselves) are told
// apart from ids that name nothing.
OSStatus not_an_aggregate(const pulse::HalRegistry& registry, AudioObjectID device) {
  return registry.device_names.contains(device) ? kAudioHardwareIllegalOperationError
                                                : kAudioHardwareBadDeviceError;
}

// The IO block called with one of the record stream's blocks as its input list.
void run_io_block(void* context, const AudioBufferList& block, double) {
  standin::invoke_block<apple::AudioDeviceIOBlockInvoke>(
      static_cast<IoProc*>(context)->block, nullptr, &block, nullptr, nullptr, nullptr);
}

// A record stream that the server ended (the stream killed, its source or the
// server gone) leaves the aggregate device running nowhere: its listeners hear
// of it, and judge the cause by what they read.
void on_stream_failed(void* context, const char*) {
  pulse::raise_property(static_cast<IoProc*>(context)->aggregate,
                        kAudioDevicePropertyDeviceIsRunningSomewhere);
}

}  // namespace

OSStatus AudioDeviceCreateIOProcIDWithBlock(AudioDeviceIOProcID* outIOProcID,
                                            AudioObjectID inDevice,
                                            dispatch_queue_t inDispatchQueue,
                                            AudioDeviceIOBlock inIOBlock) {
  if (outIOProcID == nullptr ||
      standin::payload_of<standin::QueuePayload>(inDispatchQueue) == nullptr ||
      standin::payload_of<standin::BlockPayload>(inIOBlock) == nullptr) {
    return kAudio_ParamError;
  }
  auto& registry = pulse::hal_registry();
  std::lock_guard lock(registry.mutex);
  const auto found = registry.aggregates.find(inDevice);
  if (found == registry.aggregates.end()) return not_an_aggregate(registry, inDevice);
  auto io_proc = std::make_unique<IoProc>(inDevice, inIOBlock, inDispatchQueue);
  *outIOProcID = id_of(io_proc.get());
  found->second.io_procs.push_back(std::move(io_proc));
  return kAudioHardwareNoError;
}

OSStatus AudioDeviceDestroyIOProcID(AudioObjectID inDevice, AudioDeviceIOProcID inIOProcID) {
  auto& registry = pulse::hal_registry();
  std::unique_ptr<IoProc> io_proc;
  {
    std::lock_guard lock(registry.mutex);
    const auto found = registry.aggregates.find(inDevice);
    if (found == registry.aggregates.end()) return not_an_aggregate(registry, inDevice);
    auto& list = found->second.io_procs;
    const auto place = find_io_proc(found->second, inIOProcID);
    if (place == list.end()) return kAudioHardwareBadObjectError;
    io_proc = std::move(*place);
    list.erase(place);
  }
  // Outside the lock: its end waits for a block call in progress, and a block
  // may itself call the HAL.
  io_proc.reset();
  return kAudioHardwareNoError;
}

OSStatus AudioDeviceStart(AudioObjectID inDevice, AudioDeviceIOProcID inProcID) {
  auto& registry = pulse::hal_registry();
  std::lock_guard lock(registry.mutex);
  const auto found = registry.aggregates.find(inDevice);
  if (found == registry.aggregates.end()) return not_an_aggregate(registry, inDevice);
  auto& aggregate = found->second;
  const auto place = find_io_proc(aggregate, inProcID);
  if (place == aggregate.io_procs.end()) return kAudioHardwareBadObjectError;
  IoProc& io_proc = **place;
  if (io_proc.running()) return kAudioHardwareNoError;
  const auto tap = registry.taps.find(aggregate.tap);
  if (tap == registry.taps.end()) return kAudioHardwareIllegalOperationError;

  auto server = registry.server.get();
  if (!server) return pulse::server_failed(server.error());
  pulse::CaptureFormat format;
  format.source = tap->second.sink.monitor_source;
  format.rate = tap->second.sink.rate;
  format.channels = tap->second.channels;
  format.channel_map = tap->second.sink.channel_map;
  format.stream_name = tap->second.name;
  io_proc.stream.reset();  // one whose server went away gets a new one
  auto stream = pulse::RecordStream::open(format, {&run_io_block, &on_stream_failed, &io_proc});
  if (!stream) {
    // A server that is still there refused the stream: its sink has gone.
    if ((*server)->alive()) return kAudioHardwareBadDeviceError;
    return pulse::server_failed(stream.error());
  }
  io_proc.stream = std::move(*stream);
  return kAudioHardwareNoError;
}
