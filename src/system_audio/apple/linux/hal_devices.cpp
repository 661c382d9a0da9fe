// Process taps and aggregate devices over the audio server: a tap stands for
// the monitor of one sink; an aggregate device joins one tap to its sink and
// is what IOProcs run on.

#include <algorithm>

#include "system_audio/apple/linux/aggregate_request.h"
#include "system_audio/apple/linux/hal_registry.h"
#include "system_audio/apple/standin/objects.h"

using namespace system_audio;

namespace {

using pulse::HalRegistry;

// The stream name that a tap's record stream shows in the server.
constexpr const char* kUnnamedTap = "process tap";

const pulse::TapObject* tap_with_uid(const HalRegistry& registry, const std::string& uid,
                                     AudioObjectID* id) {
  for (const auto& [tap_id, tap] : registry.taps) {
    if (tap.uid == uid) {
      *id = tap_id;
      return &tap;
    }
  }
  return nullptr;
}

}  // namespace

OSStatus system_audio::apple::AudioHardwareCreateProcessTap(CATapDescription* inDescription,
                                                            AudioObjectID* outTapID) {
  if (inDescription == nullptr || outTapID == nullptr) return kAudio_ParamError;
  const auto* fields = standin::payload_of<standin::TapFields>(inDescription);
  if (!fields || !fields->initialised || fields->stream != 0) return kAudio_ParamError;
  // A sink's monitor carries every client: only a tap of every process
  // (exclusive, none left out) can be honoured.
  if (!fields->exclusive || fields->processes != 0) return kAudioHardwareIllegalOperationError;

  auto& registry = pulse::hal_registry();
  std::lock_guard lock(registry.mutex);
  auto server = registry.server.get();
  if (!server) return pulse::server_failed(server.error());
  auto sink = (*server)->sink_named(fields->device_uid);
  if (!sink) return pulse::server_failed(sink.error());
  if (!*sink) return kAudioHardwareBadDeviceError;

  pulse::TapObject tap;
  tap.uid = registry.new_uid();
  tap.name = fields->name.value_or(kUnnamedTap);
  tap.sink = std::move(**sink);
  tap.channels = fields->mixdown && fields->mono ? 1 : tap.sink.channels;
  registry.device_id(tap.sink.name);
  const AudioObjectID id = registry.new_id();
  registry.taps.emplace(id, std::move(tap));
  *outTapID = id;
  return kAudioHardwareNoError;
}

OSStatus system_audio::apple::AudioHardwareDestroyProcessTap(AudioObjectID inTapID) {
  auto& registry = pulse::hal_registry();
  std::vector<std::unique_ptr<pulse::RecordStream>> ended;
  {
    std::lock_guard lock(registry.mutex);
    if (registry.taps.erase(inTapID) == 0) return kAudioHardwareBadObjectError;
    // An aggregate whose tap is gone has nothing left to capture: its IOProcs
    // stay registered but receive no further blocks.
    for (auto& [id, aggregate] : registry.aggregates) {
      if (aggregate.tap != inTapID) continue;
      aggregate.tap = kAudioObjectUnknown;
      for (auto& io_proc : aggregate.io_procs) ended.push_back(std::move(io_proc->stream));
    }
  }
  // Outside the lock: a stream's end waits for a block call in progress.
  ended.clear();
  return kAudioHardwareNoError;
}

OSStatus AudioHardwareCreateAggregateDevice(CFDictionaryRef inDescription,
                                            AudioObjectID* outDeviceID) {
  if (inDescription == nullptr || outDeviceID == nullptr) return kAudio_ParamError;
  const auto request = pulse::read_aggregate_request(inDescription);
  if (!request) return request.error();
  // One tap is what a record stream can carry.
  if (request->tap_uids.size() != 1) return kAudioHardwareIllegalOperationError;

  auto& registry = pulse::hal_registry();
  std::lock_guard lock(registry.mutex);
  for (const auto& [id, aggregate] : registry.aggregates) {
    if (aggregate.uid == request->uid) return kAudioHardwareIllegalOperationError;
  }
  AudioObjectID tap_id = kAudioObjectUnknown;
  if (tap_with_uid(registry, request->tap_uids.front(), &tap_id) == nullptr) {
    return kAudioHardwareIllegalOperationError;
  }
  if (!request->device_uids.empty()) {
    auto server = registry.server.get();
    if (!server) return pulse::server_failed(server.error());
    for (const auto& device_uid : request->device_uids) {
      auto sink = (*server)->sink_named(device_uid);
      if (!sink) return pulse::server_failed(sink.error());
      if (!*sink) return kAudioHardwareIllegalOperationError;
    }
  }

  pulse::AggregateObject aggregate;
  aggregate.uid = request->uid;
  aggregate.tap = tap_id;
  const AudioObjectID id = registry.new_id();
  registry.aggregates.emplace(id, std::move(aggregate));
  *outDeviceID = id;
  return kAudioHardwareNoError;
}

OSStatus AudioHardwareDestroyAggregateDevice(AudioObjectID inDeviceID) {
  auto& registry = pulse::hal_registry();
  std::vector<std::unique_ptr<pulse::IoProc>> io_procs;
  {
    std::lock_guard lock(registry.mutex);
    const auto found = registry.aggregates.find(inDeviceID);
    if (found == registry.aggregates.end()) return kAudioHardwareBadDeviceError;
    io_procs = std::move(found->second.io_procs);
    registry.aggregates.erase(found);
  }
  // Outside the lock: their end waits for a block call in progress, and a
  // block may itself call the HAL.
  io_procs.clear();
  return kAudioHardwareNoError;
}
