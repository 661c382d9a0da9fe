#include "system_audio/coreaudio/capture_watch.h"

#include <system_error>

#include "system_audio/conversion/linear_resampler.h"
#include "system_audio/coreaudio/hal_properties.h"
#include "system_audio/coreaudio/output_processes.h"

namespace system_audio {

void CaptureJudge::look() {
  look_for_stall();
  look_for_silence();
}

// A stall of a device that is gone, or cannot be read, is the device's own
// listener's or the lost service's to tell.
void CaptureJudge::look_for_stall() {
  const std::uint64_t cycles = monitor_->state->activity.cycles.load();
  if (cycles != cycles_) {
    cycles_ = cycles;
    still_looks_ = 0;
    return;
  }
  if (cycles == 0 || ++still_looks_ < kStallLooks || monitor_->alarms.failed()) return;
  if (device_alive(monitor_->device)) monitor_->alarms.raise(Alarm::capture_stopped);
}

void CaptureJudge::look_for_silence() {
  if (silence_judged_) return;
  const IoActivity& activity = monitor_->state->activity;
  if (activity.heard.load() || monitor_->alarms.failed()) {
    silence_judged_ = true;
    return;
  }
  if (looks_to_poll_-- > 0) return;
  looks_to_poll_ = kProcessPollLooks - 1;
  const std::uint64_t frames = activity.silent_frames.load();
  const std::uint64_t new_frames = frames - polled_frames_;
  polled_frames_ = frames;
  // The frames since the last poll count when other processes play now.
  if (new_frames == 0 || !other_process_runs_output()) return;
  silent_seconds_ += double(new_frames) / resampler_rate(monitor_->state->tap_rate.load());
  if (silent_seconds_ >= kSilenceSeconds) {
    monitor_->alarms.raise(Alarm::silent);
    silence_judged_ = true;
  }
}

Result<std::unique_ptr<CaptureWatch>> CaptureWatch::start(std::shared_ptr<CaptureMonitor> monitor) {
  std::unique_ptr<CaptureWatch> watch(new CaptureWatch(std::move(monitor)));
  try {
    watch->thread_ = std::thread([self = watch.get()] {
      std::unique_lock lock(self->mutex_);
      while (!self->stop_asked_.wait_for(lock, kWatchPeriod, [self] { return self->stopping_; })) {
        lock.unlock();
        self->judge_.look();
        lock.lock();
      }
    });
  } catch (const std::system_error& error) {
    return fail(std::string("CoreAudio could not start the capture watch: ") + error.what());
  }
  return watch;
}

CaptureWatch::~CaptureWatch() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stop_asked_.notify_all();
  if (thread_.joinable()) thread_.join();
}

}  // namespace system_audio
