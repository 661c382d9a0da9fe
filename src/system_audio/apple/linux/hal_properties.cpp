// AudioObjectGetPropertyData over the audio server: the default sink as the
// default output device, its name as the device UID, a tap's format and UID,
// an aggregate device's running, and the processes of the server's playback
// streams as the process objects, running output while a stream is not corked.

#include <algorithm>
#include <cstring>
#include <vector>

#include "system_audio/apple/linux/hal_registry.h"
#include "system_audio/apple/standin/runtime.h"

using namespace system_audio;

namespace {

using pulse::HalRegistry;

template <class T>
OSStatus write_value(const T& value, UInt32* size, void* data) {
  if (*size < sizeof(T)) return kAudioHardwareBadPropertySizeError;
  std::memcpy(data, &value, sizeof(T));
  *size = sizeof(T);
  return kAudioHardwareNoError;
}

// A new CFString (+1) for the caller, as the HAL hands strings out.
OSStatus write_string(const std::string& text, UInt32* size, void* data) {
  if (*size < sizeof(CFStringRef)) return kAudioHardwareBadPropertySizeError;
  CFStringRef string = standin::make_cfstring(text);
  if (string == nullptr) return kAudioHardwareUnspecifiedError;
  return write_value(string, size, data);
}

OSStatus read_default_device(HalRegistry& registry, UInt32* size, void* data) {
  if (*size < sizeof(AudioObjectID)) return kAudioHardwareBadPropertySizeError;
  auto server = registry.server.get();
  if (!server) return pulse::server_failed(server.error());
  auto sink = (*server)->default_sink();
  if (!sink) return pulse::server_failed(sink.error());
  const AudioObjectID device = *sink ? registry.device_id((*sink)->name) : kAudioObjectUnknown;
  return write_value(device, size, data);
}

// A device lives while the server has its sink.
OSStatus read_device_alive(HalRegistry& registry, const std::string& sink_name, UInt32* size,
                           void* data) {
  if (*size < sizeof(UInt32)) return kAudioHardwareBadPropertySizeError;
  auto server = registry.server.get();
  if (!server) return pulse::server_failed(server.error());
  auto sink = (*server)->sink_named(sink_name);
  if (!sink) return pulse::server_failed(sink.error());
  return write_value(UInt32(sink->has_value() ? 1 : 0), size, data);
}

Result<std::vector<pulse::PlaybackStream>> playback_streams(HalRegistry& registry) {
  auto server = registry.server.get();
  if (!server) return fail(server.error());
  return (*server)->playback_streams();
}

// The processes that have playback streams, each once, in the server's order.
Result<std::vector<AudioObjectID>> process_objects(HalRegistry& registry) {
  auto streams = playback_streams(registry);
  if (!streams) return fail(streams.error());
  std::vector<AudioObjectID> processes;
  for (const auto& stream : *streams) {
    const AudioObjectID id = registry.process_id(stream.pid);
    if (std::ranges::find(processes, id) == processes.end()) processes.push_back(id);
  }
  return processes;
}

OSStatus read_process_list(HalRegistry& registry, UInt32* size, void* data) {
  auto processes = process_objects(registry);
  if (!processes) return pulse::server_failed(processes.error());
  // As many as the caller made room for.
  processes->resize(std::min<std::size_t>(processes->size(), *size / sizeof(AudioObjectID)));
  *size = UInt32(processes->size() * sizeof(AudioObjectID));
  std::copy(processes->begin(), processes->end(), static_cast<AudioObjectID*>(data));
  return kAudioHardwareNoError;
}

OSStatus read_running_output(HalRegistry& registry, pid_t pid, UInt32* size, void* data) {
  auto streams = playback_streams(registry);
  if (!streams) return pulse::server_failed(streams.error());
  const bool running = std::ranges::any_of(
      *streams, [pid](const auto& stream) { return stream.pid == pid && stream.playing; });
  return write_value(UInt32(running ? 1 : 0), size, data);
}

AudioStreamBasicDescription tap_format(const pulse::TapObject& tap) {
  AudioStreamBasicDescription format{};
  const UInt32 frame_bytes = UInt32(sizeof(float)) * tap.channels;
  format.mSampleRate = double(tap.sink.rate);
  format.mFormatID = kAudioFormatLinearPCM;
  format.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
  format.mBytesPerPacket = frame_bytes;
  format.mFramesPerPacket = 1;
  format.mBytesPerFrame = frame_bytes;
  format.mChannelsPerFrame = tap.channels;
  format.mBitsPerChannel = 32;
  return format;
}

}  // namespace

OSStatus AudioObjectGetPropertyData(AudioObjectID inObjectID,
                                    const AudioObjectPropertyAddress* inAddress,
                                    UInt32 /*inQualifierDataSize*/, const void* /*inQualifierData*/,
                                    UInt32* ioDataSize, void* outData) {
  if (inAddress == nullptr || ioDataSize == nullptr || outData == nullptr) {
    return kAudio_ParamError;
  }
  auto& registry = pulse::hal_registry();
  std::lock_guard lock(registry.mutex);
  const auto selector = inAddress->mSelector;

  if (inObjectID == kAudioObjectSystemObject) {
    if (selector == kAudioHardwarePropertyProcessObjectList) {
      return read_process_list(registry, ioDataSize, outData);
    }
    if (selector != kAudioHardwarePropertyDefaultOutputDevice) {
      return kAudioHardwareUnknownPropertyError;
    }
    return read_default_device(registry, ioDataSize, outData);
  }
  if (const auto process = registry.process_pids.find(inObjectID);
      process != registry.process_pids.end()) {
    if (selector == kAudioProcessPropertyPID)
      return write_value(process->second, ioDataSize, outData);
    if (selector != kAudioProcessPropertyIsRunningOutput) return kAudioHardwareUnknownPropertyError;
    return read_running_output(registry, process->second, ioDataSize, outData);
  }
  if (const auto device = registry.device_names.find(inObjectID);
      device != registry.device_names.end()) {
    if (selector == kAudioDevicePropertyDeviceIsAlive) {
      return read_device_alive(registry, device->second, ioDataSize, outData);
    }
    if (selector != kAudioDevicePropertyDeviceUID) return kAudioHardwareUnknownPropertyError;
    return write_string(device->second, ioDataSize, outData);
  }
  if (const auto tap = registry.taps.find(inObjectID); tap != registry.taps.end()) {
    if (selector == kAudioTapPropertyFormat) {
      return write_value(tap_format(tap->second), ioDataSize, outData);
    }
    if (selector == kAudioTapPropertyUID) return write_string(tap->second.uid, ioDataSize, outData);
    return kAudioHardwareUnknownPropertyError;
  }
  if (const auto aggregate = registry.aggregates.find(inObjectID);
      aggregate != registry.aggregates.end()) {
    if (selector == kAudioDevicePropertyDeviceIsRunningSomewhere) {
      const bool running = std::ranges::any_of(
          aggregate->second.io_procs, [](const auto& io_proc) { return io_proc->running(); });
      return write_value(UInt32(running ? 1 : 0), ioDataSize, outData);
    }
    if (selector != kAudioDevicePropertyDeviceUID) return kAudioHardwareUnknownPropertyError;
    return write_string(aggregate->second.uid, ioDataSize, outData);
  }
  return kAudioHardwareBadObjectError;
}

// Only the process list's size varies; it is what the helper asks the size of.
OSStatus AudioObjectGetPropertyDataSize(AudioObjectID inObjectID,
                                        const AudioObjectPropertyAddress* inAddress,
                                        UInt32 /*inQualifierDataSize*/,
                                        const void* /*inQualifierData*/, UInt32* outDataSize) {
  if (inAddress == nullptr || outDataSize == nullptr) return kAudio_ParamError;
  if (inObjectID != kAudioObjectSystemObject ||
      inAddress->mSelector != kAudioHardwarePropertyProcessObjectList) {
    return kAudioHardwareUnknownPropertyError;
  }
  auto& registry = pulse::hal_registry();
  std::lock_guard lock(registry.mutex);
  auto processes = process_objects(registry);
  if (!processes) return pulse::server_failed(processes.error());
  *outDataSize = UInt32(processes->size() * sizeof(AudioObjectID));
  return kAudioHardwareNoError;
}
