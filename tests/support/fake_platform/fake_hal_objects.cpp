// Property reads, process taps and aggregate devices, as the script says.

#include <algorithm>
#include <cstring>
#include <string>

#include "fake_state.h"
#include "system_audio/platform/standin/utf16_text.h"

namespace system_audio::platform {
namespace {

using fake::detail::State;

std::string code_text(UInt32 code) {
  std::string text = "'";
  for (int shift = 24; shift >= 0; shift -= 8) text += static_cast<char>((code >> shift) & 0xFF);
  return text + "'";
}

fake::detail::Tap* live_tap(State& fake, AudioObjectID id) {
  for (auto& tap : fake.taps) {
    if (tap.id == id) return &tap;
  }
  return nullptr;
}

// Hands out a UID the way the HAL does: a new string the caller owns, or null.
OSStatus write_uid(const std::optional<std::u16string>& uid, UInt32* ioDataSize, void* outData,
                   CFStringRef& handed_out) {
  if (*ioDataSize < sizeof(CFStringRef)) return kAudioHardwareBadPropertySizeError;
  handed_out = uid ? standin::make_cfstring_utf16(*uid) : nullptr;
  std::memcpy(outData, &handed_out, sizeof handed_out);
  *ioDataSize = sizeof(CFStringRef);
  return kAudioHardwareNoError;
}

}  // namespace

OSStatus AudioObjectGetPropertyData(AudioObjectID inObjectID,
                                    const AudioObjectPropertyAddress* inAddress,
                                    UInt32 inQualifierDataSize, const void*, UInt32* ioDataSize,
                                    void* outData) {
  State& fake = fake::detail::state();
  std::lock_guard lock(fake.mutex);
  std::string line = "AudioObjectGetPropertyData(" + std::to_string(inObjectID) + ", ";
  if (inAddress == nullptr) {
    line += "NULL";
  } else {
    line += code_text(inAddress->mSelector) + ", " + code_text(inAddress->mScope) + ", " +
            std::to_string(inAddress->mElement);
  }
  line += ", " + (ioDataSize == nullptr ? std::string("NULL") : std::to_string(*ioDataSize));
  if (inQualifierDataSize != 0) line += ", qualifier " + std::to_string(inQualifierDataSize);
  fake::detail::log_locked(fake, line + ")");
  if (inAddress == nullptr || ioDataSize == nullptr || outData == nullptr) {
    return kAudio_ParamError;
  }

  const fake::HalScript& script = fake.script;
  switch (inAddress->mSelector) {
    case kAudioHardwarePropertyDefaultOutputDevice: {
      if (inObjectID != kAudioObjectSystemObject) return kAudioHardwareUnknownPropertyError;
      if (script.default_device_status != 0) return script.default_device_status;
      if (*ioDataSize < sizeof(AudioObjectID)) return kAudioHardwareBadPropertySizeError;
      std::memcpy(outData, &script.default_device, sizeof(AudioObjectID));
      *ioDataSize = sizeof(AudioObjectID);
      return kAudioHardwareNoError;
    }
    case kAudioDevicePropertyDeviceUID: {
      if (inObjectID == kAudioObjectUnknown || inObjectID != script.default_device) {
        return kAudioHardwareBadObjectError;
      }
      if (script.device_uid_status != 0) return script.device_uid_status;
      return write_uid(script.device_uid, ioDataSize, outData, fake.passed.device_uid);
    }
    case kAudioTapPropertyFormat: {
      if (live_tap(fake, inObjectID) == nullptr) return kAudioHardwareBadObjectError;
      if (script.tap_format_status != 0) return script.tap_format_status;
      // The HAL writes what it reports, never past the caller's buffer.
      const std::size_t written = std::min<std::size_t>(
          {*ioDataSize, script.tap_format_size, sizeof(AudioStreamBasicDescription)});
      std::memcpy(outData, &script.tap_format, written);
      *ioDataSize = script.tap_format_size;
      return kAudioHardwareNoError;
    }
    case kAudioTapPropertyUID: {
      if (live_tap(fake, inObjectID) == nullptr) return kAudioHardwareBadObjectError;
      if (script.tap_uid_status != 0) return script.tap_uid_status;
      return write_uid(script.tap_uid, ioDataSize, outData, fake.passed.tap_uid);
    }
    default:
      return kAudioHardwareUnknownPropertyError;
  }
}

OSStatus AudioHardwareCreateProcessTap(CATapDescription* inDescription, AudioObjectID* outTapID) {
  // Read before taking the lock: the description's text comes from the runtime.
  const std::string described = standin::describe(inDescription);
  const auto fields = standin::tap_description_fields(inDescription);
  State& fake = fake::detail::state();
  std::lock_guard lock(fake.mutex);
  fake::detail::log_locked(fake, "AudioHardwareCreateProcessTap(" + described + ")");
  if (inDescription == nullptr || outTapID == nullptr) return kAudio_ParamError;
  if (!fields || !fields->initialised) return kAudioHardwareIllegalOperationError;
  fake.passed.tap_description = fields;
  if (fake.script.create_tap_status != 0) return fake.script.create_tap_status;
  *outTapID = fake.script.tap_id;
  const auto& uid = fake.script.tap_uid;
  fake.taps.push_back({fake.script.tap_id, uid ? standin::utf8_from_utf16(*uid) : ""});
  return kAudioHardwareNoError;
}

OSStatus AudioHardwareDestroyProcessTap(AudioObjectID inTapID) {
  State& fake = fake::detail::state();
  std::lock_guard lock(fake.mutex);
  const std::string line = "AudioHardwareDestroyProcessTap(" + std::to_string(inTapID) + ")";
  fake::detail::log_locked(fake, line);
  const fake::detail::Tap* tap = live_tap(fake, inTapID);
  if (tap == nullptr) return kAudioHardwareBadObjectError;
  if (fake.script.destroy_tap_status != 0) return fake.script.destroy_tap_status;
  for (const auto& aggregate : fake.aggregates) {
    if (aggregate.tap_uids.contains(tap->uid)) {
      fake.hal_faults.push_back(line + " while aggregate device " + std::to_string(aggregate.id) +
                                " uses it");
    }
  }
  fake.taps.erase(fake.taps.begin() + (tap - fake.taps.data()));
  return kAudioHardwareNoError;
}

OSStatus AudioHardwareCreateAggregateDevice(CFDictionaryRef inDescription,
                                            AudioObjectID* outDeviceID) {
  const std::string described = standin::describe(inDescription);
  auto copy = standin::snapshot(inDescription);
  State& fake = fake::detail::state();
  std::lock_guard lock(fake.mutex);
  fake::detail::log_locked(fake, "AudioHardwareCreateAggregateDevice(" + described + ")");
  if (outDeviceID == nullptr || !copy || copy->kind != standin::ObjectKind::cf_dictionary) {
    return kAudio_ParamError;
  }
  fake::detail::Aggregate aggregate{fake.script.aggregate_id, {}};
  if (const standin::Snapshot* taps = copy->find("taps")) {
    for (const auto& sub_tap : taps->items) {
      if (const standin::Snapshot* uid = sub_tap.find("uid")) aggregate.tap_uids.insert(uid->text);
    }
  }
  fake.passed.aggregate_description = std::move(copy);
  if (fake.script.create_aggregate_status != 0) return fake.script.create_aggregate_status;
  *outDeviceID = aggregate.id;
  fake.aggregates.push_back(std::move(aggregate));
  return kAudioHardwareNoError;
}

OSStatus AudioHardwareDestroyAggregateDevice(AudioObjectID inDeviceID) {
  State& fake = fake::detail::state();
  std::lock_guard lock(fake.mutex);
  const std::string line =
      "AudioHardwareDestroyAggregateDevice(" + std::to_string(inDeviceID) + ")";
  fake::detail::log_locked(fake, line);
  const auto found =
      std::find_if(fake.aggregates.begin(), fake.aggregates.end(),
                   [&](const auto& aggregate) { return aggregate.id == inDeviceID; });
  if (found == fake.aggregates.end()) return kAudioHardwareBadObjectError;
  if (fake.script.destroy_aggregate_status != 0) return fake.script.destroy_aggregate_status;
  for (const auto& proc : fake.io_procs) {
    if (proc->device == inDeviceID) {
      fake.hal_faults.push_back(line + " while IOProc#" + std::to_string(proc->number) +
                                " is registered on it");
    }
  }
  fake.aggregates.erase(found);
  return kAudioHardwareNoError;
}

}  // namespace system_audio::platform
