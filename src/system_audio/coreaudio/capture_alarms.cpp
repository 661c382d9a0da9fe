#include "system_audio/coreaudio/capture_alarms.h"

#include <string>

namespace system_audio {
namespace {

const char* text_of(Alarm alarm) {
  switch (alarm) {
    case Alarm::device_gone:
      return "failed: CoreAudio output device is gone";
    case Alarm::default_changed:
      return "failed: CoreAudio default output device changed";
    case Alarm::service_restarted:
      return "failed: CoreAudio audio service restarted";
    case Alarm::capture_stopped:
      return "failed: CoreAudio capture stopped";
    case Alarm::format_changed:
      return "failed: CoreAudio output format changed: ";
    case Alarm::silent:
      break;
  }
  return "silent: no audio reached the tap for 10 s while other applications play; System Audio "
         "Recording permission may be missing";
}

}  // namespace

bool CaptureAlarms::raise(Alarm alarm, std::string_view detail) {
  const unsigned bit = 1u << unsigned(alarm);
  std::lock_guard lock(mutex_);
  const bool held_back = (alarm == Alarm::capture_stopped || alarm == Alarm::silent) && failed_;
  if ((raised_ & bit) != 0 || held_back) return false;
  raised_ |= bit;
  failed_ |= alarm != Alarm::silent;
  (void)status_tx_.send(std::string(text_of(alarm)).append(detail));
  return true;
}

bool CaptureAlarms::failed() const {
  std::lock_guard lock(mutex_);
  return failed_;
}

}  // namespace system_audio
