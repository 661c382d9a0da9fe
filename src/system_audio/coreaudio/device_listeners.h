#pragma once

#include "system_audio/apple/apple_ref.h"
#include "system_audio/apple/core_audio.h"
#include "system_audio/frame/messages.h"
#include "system_audio/result.h"

namespace system_audio {

inline constexpr const char* kDeviceGoneStatus = "failed: CoreAudio output device is gone";
inline constexpr const char* kDefaultDeviceChangedStatus =
    "failed: CoreAudio default output device changed";
inline constexpr const char* kServiceRestartedStatus = "failed: CoreAudio audio service restarted";

// A listener block that turns the death of the tapped device, a new default
// output device and a restarted audio service into their status texts, each
// at most once. It owns its copy of the sender, so the sender lives for as
// long as the HAL may call it.
BlockRef<AudioObjectPropertyListenerBlock> make_listener_block(StatusSender status_tx,
                                                               AudioObjectID device);

// The block added for the device's liveness and the system's default output
// device and service restart; removed (newest first) by remove() or scope.
// Block and queue are borrowed: they must outlive the registration.
class DeviceListeners {
 public:
  DeviceListeners() = default;
  DeviceListeners(DeviceListeners&& other) noexcept;
  DeviceListeners& operator=(DeviceListeners&& other) noexcept;
  ~DeviceListeners() { remove(); }

  // All three or none: a failed add removes those already added.
  static Result<DeviceListeners> add(AudioObjectID device, AudioObjectPropertyListenerBlock block,
                                     dispatch_queue_t queue);
  void remove();

 private:
  AudioObjectID device_ = kAudioObjectUnknown;
  AudioObjectPropertyListenerBlock block_ = nullptr;
  dispatch_queue_t queue_ = nullptr;
  int added_ = 0;
};

}  // namespace system_audio
