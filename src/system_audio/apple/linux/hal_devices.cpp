// Process taps and aggregate devices over the audio server: a tap stands for
// the monitor of one sink; an aggregate device joins one tap to its sink and
// is what IOProcs run on.

#include <algorithm>

#include "system_audio/apple/linux/aggregate_request.h"
#include "system_audio/apple/linux/hal_objects.h"
#include "system_audio/apple/standin/tap_fields.h"

using namespace system_audio;

namespace {

using pulse::HalObjects;

// The stream name that a tap's record stream shows in the server.
constexpr const char* kUnnamedTap = "process tap";

const pulse::TapObject* tap_with_uid(const HalObjects& objects, const std::string& uid,
                                     AudioObjectID* id) {
  for (const auto& [tap_id, tap] : objects.taps) {
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

  auto& objects = pulse::hal_objects();
  std::lock_guard lock(objects.mutex);
  auto server = objects.server();
  if (!server) return pulse::server_failed(server.error());
  auto sink = (*server)->sink_named(fields->device_uid);
  if (!sink) return pulse::server_failed(sink.error());
  if (!*sink) return kAudioHardwareBadDeviceError;

  pulse::TapObject tap;
  tap.uid = objects.new_uid();
  tap.name = fields->name.value_or(kUnnamedTap);
  tap.sink = std::move(**sink);
  tap.channels = fields->mixdown && fields->mono ? 1 : tap.sink.channels;
  objects.device_id(tap.sink.name);
  const AudioObjectID id = objects.new_id();
  objects.taps.emplace(id, std::move(tap));
  *outTapID = id;
  return kAudioHardwareNoError;
}

OSStatus system_audio::apple::AudioHardwareDestroyProcessTap(AudioObjectID inTapID) {
  auto& objects = pulse::hal_objects();
  std::lock_guard lock(objects.mutex);
  if (objects.taps.erase(inTapID) == 0) return kAudioHardwareBadObjectError;
  // An aggregate whose tap is gone has nothing left to capture: its IOProcs
  // stay registered but receive no further cycles.
  for (auto& [id, aggregate] : objects.aggregates) {
    if (aggregate.tap != inTapID) continue;
    aggregate.tap = kAudioObjectUnknown;
    for (auto& io_proc : aggregate.io_procs) io_proc->stop_capture();
  }
  return kAudioHardwareNoError;
}

OSStatus AudioHardwareCreateAggregateDevice(CFDictionaryRef inDescription,
                                            AudioObjectID* outDeviceID) {
  if (inDescription == nullptr || outDeviceID == nullptr) return kAudio_ParamError;
  const auto request = pulse::read_aggregate_request(inDescription);
  if (!request) return request.error();
  // One tap is what a record stream can carry.
  if (request->tap_uids.size() != 1) return kAudioHardwareIllegalOperationError;

  auto& objects = pulse::hal_objects();
  std::lock_guard lock(objects.mutex);
  for (const auto& [id, aggregate] : objects.aggregates) {
    if (aggregate.uid == request->uid) return kAudioHardwareIllegalOperationError;
  }
  AudioObjectID tap_id = kAudioObjectUnknown;
  if (tap_with_uid(objects, request->tap_uids.front(), &tap_id) == nullptr) {
    return kAudioHardwareIllegalOperationError;
  }
  if (!request->device_uids.empty()) {
    auto server = objects.server();
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
  const AudioObjectID id = objects.new_id();
  objects.aggregates.emplace(id, std::move(aggregate));
  *outDeviceID = id;
  return kAudioHardwareNoError;
}

OSStatus AudioHardwareDestroyAggregateDevice(AudioObjectID inDeviceID) {
  auto& objects = pulse::hal_objects();
  std::vector<std::unique_ptr<pulse::IoProcRunner>> io_procs;
  {
    std::lock_guard lock(objects.mutex);
    const auto found = objects.aggregates.find(inDeviceID);
    if (found == objects.aggregates.end()) return kAudioHardwareBadDeviceError;
    io_procs = std::move(found->second.io_procs);
    objects.aggregates.erase(found);
  }
  // Outside the lock: finishing waits for a block call in progress, and a
  // block may itself call the HAL.
  for (auto& io_proc : io_procs) io_proc->finish();
  return kAudioHardwareNoError;
}
