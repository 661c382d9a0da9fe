#pragma once

#include <array>
#include <memory>

#include "system_audio/apple/apple_ref.h"
#include "system_audio/apple/core_audio.h"
#include "system_audio/coreaudio/capture_monitor.h"
#include "system_audio/result.h"

namespace system_audio {

// A listener block that judges what changed and tells it through the
// monitor's alarms: the tapped device gone, a new default output device, a
// restarted audio service, the aggregate device no longer running, the tap's
// format changed. It shares the monitor, so that all it uses lives for as
// long as the HAL may call it.
BlockRef<AudioObjectPropertyListenerBlock> make_listener_block(
    std::shared_ptr<CaptureMonitor> monitor);

// The block added for the device's liveness, the system's default output
// device and service restart, the tap's format and the aggregate device's
// running; removed (newest first) by remove() or scope. Block and queue are
// borrowed: they must outlive the registration.
class DeviceListeners {
 public:
  DeviceListeners() = default;
  DeviceListeners(DeviceListeners&& other) noexcept;
  DeviceListeners& operator=(DeviceListeners&& other) noexcept;
  ~DeviceListeners() { remove(); }

  // All or none: a failed add removes those already added.
  static Result<DeviceListeners> add(const CaptureMonitor& monitor,
                                     AudioObjectPropertyListenerBlock block,
                                     dispatch_queue_t queue);
  void remove();

 private:
  std::array<AudioObjectID, 4> objects_{};  // device, tap, aggregate, system
  AudioObjectPropertyListenerBlock block_ = nullptr;
  dispatch_queue_t queue_ = nullptr;
  int added_ = 0;
};

}  // namespace system_audio
