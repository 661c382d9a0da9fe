#include "system_audio/coreaudio/hal_properties.h"

#include "system_audio/coreaudio/hal_status.h"

namespace system_audio {

using namespace apple;

namespace {

OSStatus read_property(AudioObjectID object, AudioObjectPropertySelector selector,
                       AudioObjectPropertyScope scope, UInt32& size, void* data) {
  const AudioObjectPropertyAddress address{selector, scope, kAudioObjectPropertyElementMain};
  return AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, data);
}

Result<CfRef<CFStringRef>> read_string(AudioObjectID object, AudioObjectPropertySelector selector,
                                       AudioObjectPropertyScope scope, const char* what,
                                       const char* when_null) {
  CFStringRef string = nullptr;
  UInt32 size = sizeof string;
  const OSStatus status = read_property(object, selector, scope, size, &string);
  // After a failure nothing the HAL wrote is trusted, not even a reference.
  if (auto ok = status_ok(status, what); !ok) return fail(std::move(ok.error()));
  if (string == nullptr) return fail(when_null);
  return CfRef<CFStringRef>(string);
}

}  // namespace

Result<AudioObjectID> read_default_output_device() {
  AudioObjectID device = kAudioObjectUnknown;
  UInt32 size = sizeof device;
  const OSStatus status =
      read_property(kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice,
                    kAudioObjectPropertyScopeGlobal, size, &device);
  if (auto ok = status_ok(status, "read default output device"); !ok) {
    return fail(std::move(ok.error()));
  }
  if (device == kAudioObjectUnknown) {
    return fail("CoreAudio did not report a default output device");
  }
  return device;
}

Result<CfRef<CFStringRef>> read_device_uid(AudioObjectID device) {
  return read_string(device, kAudioDevicePropertyDeviceUID, kAudioObjectPropertyScopeOutput,
                     "read default output device UID",
                     "CoreAudio returned an empty output device UID");
}

Result<TapFormat> read_tap_format(AudioObjectID tap) {
  // Zeroed so that a short report leaves defined values behind.
  TapFormat read{AudioStreamBasicDescription{}, UInt32(sizeof(AudioStreamBasicDescription))};
  const OSStatus status = read_property(tap, kAudioTapPropertyFormat,
                                        kAudioObjectPropertyScopeGlobal, read.size, &read.format);
  if (auto ok = status_ok(status, "read CoreAudio tap format"); !ok) {
    return fail(std::move(ok.error()));
  }
  return read;
}

Result<CfRef<CFStringRef>> read_tap_uid(AudioObjectID tap) {
  return read_string(tap, kAudioTapPropertyUID, kAudioObjectPropertyScopeGlobal,
                     "read CoreAudio tap UID", "CoreAudio returned an empty tap UID");
}

std::optional<UInt32> read_u32(AudioObjectID object, AudioObjectPropertySelector selector) {
  UInt32 value = 0;
  UInt32 size = sizeof value;
  if (read_property(object, selector, kAudioObjectPropertyScopeGlobal, size, &value) != 0 ||
      size != sizeof value) {
    return std::nullopt;
  }
  return value;
}

bool device_alive(AudioObjectID device) {
  return read_u32(device, kAudioDevicePropertyDeviceIsAlive).value_or(0) != 0;
}

}  // namespace system_audio
