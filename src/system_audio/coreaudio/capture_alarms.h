#pragma once

#include <mutex>
#include <string_view>

#include "system_audio/frame/messages.h"

namespace system_audio {

// What a running capture can tell its parent after the start, as statuses.
enum class Alarm {
  device_gone,        // the tapped device was removed
  default_changed,    // another device became the default output
  service_restarted,  // the audio service restarted or was lost
  capture_stopped,    // the IO stopped while the device lives
  format_changed,     // the tap's new format cannot be converted
  silent,             // only exact zeros, while other processes play
};

// Tells each alarm at most once, from any thread. A stopped capture is told
// only while no failure was: after a removed device or a lost service the IO
// stops too, and a second status would only blame the capture for it. The
// silence is told only while nothing failed: a capture that failed hears
// nothing for reasons already told.
class CaptureAlarms {
 public:
  explicit CaptureAlarms(StatusSender status_tx) : status_tx_(std::move(status_tx)) {}

  // True when the status was sent; `detail` follows the format change's text.
  bool raise(Alarm alarm, std::string_view detail = {});
  // True once a "failed: " status was sent.
  bool failed() const;

 private:
  mutable std::mutex mutex_;
  StatusSender status_tx_;
  unsigned raised_ = 0;  // one bit for each alarm
  bool failed_ = false;
};

}  // namespace system_audio
