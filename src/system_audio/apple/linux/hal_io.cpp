// IOProcs over the audio server: an IOProc registered on an aggregate device
// runs, once started, on a record stream of the aggregate's tap.

#include <algorithm>

#include "system_audio/apple/linux/hal_objects.h"
#include "system_audio/apple/standin/runtime.h"

using namespace system_audio;

namespace {

using pulse::IoProcRunner;

AudioDeviceIOProcID id_of(const IoProcRunner* io_proc) {
  return reinterpret_cast<AudioDeviceIOProcID>(const_cast<IoProcRunner*>(io_proc));
}

// The IOProc's place in its aggregate's list, compared by address only: an id
// that was never handed out is not dereferenced.
auto find_io_proc(pulse::AggregateObject& aggregate, AudioDeviceIOProcID id) {
  return std::find_if(aggregate.io_procs.begin(), aggregate.io_procs.end(),
                      [id](const auto& io_proc) { return id_of(io_proc.get()) == id; });
}

// Devices that exist but run no IOProcs here (the sinks themselves) are told
// apart from ids that name nothing.
OSStatus not_an_aggregate(const pulse::HalObjects& objects, AudioObjectID device) {
  return objects.device_names.contains(device) ? kAudioHardwareIllegalOperationError
                                               : kAudioHardwareBadDeviceError;
}

}  // namespace

OSStatus AudioDeviceCreateIOProcIDWithBlock(AudioDeviceIOProcID* outIOProcID,
                                            AudioObjectID inDevice,
                                            dispatch_queue_t inDispatchQueue,
                                            AudioDeviceIOBlock inIOBlock) {
  if (outIOProcID == nullptr) return kAudio_ParamError;
  if (!standin::queue_label(inDispatchQueue) ||
      standin::payload_of<standin::BlockPayload>(inIOBlock) == nullptr) {
    return kAudio_ParamError;
  }
  auto& objects = pulse::hal_objects();
  std::lock_guard lock(objects.mutex);
  const auto found = objects.aggregates.find(inDevice);
  if (found == objects.aggregates.end()) return not_an_aggregate(objects, inDevice);
  auto io_proc = std::make_unique<IoProcRunner>(inIOBlock, inDispatchQueue);
  *outIOProcID = id_of(io_proc.get());
  found->second.io_procs.push_back(std::move(io_proc));
  return kAudioHardwareNoError;
}

OSStatus AudioDeviceDestroyIOProcID(AudioObjectID inDevice, AudioDeviceIOProcID inIOProcID) {
  auto& objects = pulse::hal_objects();
  std::unique_ptr<IoProcRunner> io_proc;
  {
    std::lock_guard lock(objects.mutex);
    const auto found = objects.aggregates.find(inDevice);
    if (found == objects.aggregates.end()) return not_an_aggregate(objects, inDevice);
    auto& list = found->second.io_procs;
    const auto place = find_io_proc(found->second, inIOProcID);
    if (place == list.end()) return kAudioHardwareBadObjectError;
    io_proc = std::move(*place);
    list.erase(place);
  }
  // Outside the lock: finishing waits for a block call in progress, and a
  // block may itself call the HAL.
  io_proc->finish();
  return kAudioHardwareNoError;
}

OSStatus AudioDeviceStart(AudioObjectID inDevice, AudioDeviceIOProcID inProcID) {
  auto& objects = pulse::hal_objects();
  std::lock_guard lock(objects.mutex);
  const auto found = objects.aggregates.find(inDevice);
  if (found == objects.aggregates.end()) return not_an_aggregate(objects, inDevice);
  auto& aggregate = found->second;
  const auto place = find_io_proc(aggregate, inProcID);
  if (place == aggregate.io_procs.end()) return kAudioHardwareBadObjectError;
  IoProcRunner& io_proc = **place;
  if (io_proc.running()) return kAudioHardwareNoError;
  const auto tap = objects.taps.find(aggregate.tap);
  if (tap == objects.taps.end()) return kAudioHardwareIllegalOperationError;

  auto server = objects.server();
  if (!server) return pulse::server_failed(server.error());
  pulse::CaptureFormat format;
  format.source = tap->second.sink.monitor_source;
  format.rate = tap->second.sink.rate;
  format.channels = tap->second.channels;
  format.channel_map = tap->second.sink.channel_map;
  format.stream_name = tap->second.name;
  if (auto started = io_proc.start(*server, format); !started) {
    // A server that is still there refused the stream: its sink has gone.
    if ((*server)->alive()) return kAudioHardwareBadDeviceError;
    return pulse::server_failed(started.error());
  }
  return kAudioHardwareNoError;
}
