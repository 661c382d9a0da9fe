#pragma once

#include <memory>

#include "system_audio/apple/core_audio.h"
#include "system_audio/apple/core_audio_types.h"
#include "system_audio/coreaudio/capture_alarms.h"
#include "system_audio/coreaudio/tap_io.h"

namespace system_audio {

// What the property listeners and the watch of one running capture share:
// they judge it by its HAL objects and its IO cycles, and tell what they find
// through its alarms. Shared, so that it lives as long as either may run.
struct CaptureMonitor {
  AudioObjectID device;
  AudioObjectID tap;
  AudioObjectID aggregate;
  std::shared_ptr<TapCallbackState> state;
  CaptureAlarms alarms;
  AudioStreamBasicDescription format;  // the tap's as last accepted; only its listener's

  CaptureMonitor(AudioObjectID device_id, AudioObjectID tap_id, AudioObjectID aggregate_id,
                 std::shared_ptr<TapCallbackState> tap_state,
                 const AudioStreamBasicDescription& tap_format)
      : device(device_id),
        tap(tap_id),
        aggregate(aggregate_id),
        state(std::move(tap_state)),
        alarms(state->capture.status_tx),
        format(tap_format) {}
};

}  // namespace system_audio
