#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "system_audio/coreaudio/capture_monitor.h"
#include "system_audio/result.h"

namespace system_audio {

// The watch looks at the capture this often.
inline constexpr std::chrono::milliseconds kWatchPeriod{250};
// A capture whose IO cycles stopped for this many looks (2 s) after the first
// one stopped; the HAL calls a running IOProc even in silence.
inline constexpr int kStallLooks = 8;
// The process list is read every this many looks (1 s), and only while the
// tap has heard nothing but exact zeros.
inline constexpr int kProcessPollLooks = 4;
// Seconds of exact zeros, while other processes play, that tell of silence.
inline constexpr double kSilenceSeconds = 10.0;

// What the watch concludes from one look after another, each standing for a
// watch period. It counts looks, not the clock's time: a process that was
// suspended (the machine asleep) has not seen its IO stop. The silence is
// measured in tap frames, the time the audio itself took.
class CaptureJudge {
 public:
  explicit CaptureJudge(std::shared_ptr<CaptureMonitor> monitor) : monitor_(std::move(monitor)) {}
  void look();

 private:
  void look_for_stall();
  void look_for_silence();

  std::shared_ptr<CaptureMonitor> monitor_;
  std::uint64_t cycles_ = 0;
  int still_looks_ = 0;  // looks in a row without a new cycle, once there was one
  int looks_to_poll_ = 0;
  std::uint64_t polled_frames_ = 0;
  double silent_seconds_ = 0.0;  // of zeros while other processes played
  bool silence_judged_ = false;  // told, or heard, or failed: never looked at again
};

// A thread of the capture's own that runs the judge every watch period, off
// the IO cycles and the listener queue, until the watch goes (which waits for
// a look in progress).
class CaptureWatch {
 public:
  static Result<std::unique_ptr<CaptureWatch>> start(std::shared_ptr<CaptureMonitor> monitor);
  ~CaptureWatch();
  CaptureWatch(const CaptureWatch&) = delete;
  CaptureWatch& operator=(const CaptureWatch&) = delete;

 private:
  explicit CaptureWatch(std::shared_ptr<CaptureMonitor> monitor) : judge_(std::move(monitor)) {}

  CaptureJudge judge_;
  std::mutex mutex_;
  std::condition_variable stop_asked_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace system_audio
