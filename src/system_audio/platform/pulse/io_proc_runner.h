#pragma once

#include <memory>

#include "system_audio/platform/core_audio.h"
#include "system_audio/platform/pulse/pulse_capture.h"
#include "system_audio/result.h"

namespace system_audio::pulse {

struct IoGate;

// One IOProc: its IO block and serial queue (both retained while it exists)
// and, once started, the record stream whose 10 ms pieces become IO cycles:
// each piece is copied into a task on the queue that calls the block with a
// one-buffer interleaved AudioBufferList. The task owns the buffer, so it stays
// valid until the block returns.
class IoProcRunner {
 public:
  IoProcRunner(AudioDeviceIOBlock block, dispatch_queue_t queue);
  ~IoProcRunner();
  IoProcRunner(const IoProcRunner&) = delete;
  IoProcRunner& operator=(const IoProcRunner&) = delete;

  // Opens the record stream; a running IOProc is left as it is, one whose
  // stream has failed (its server went away) gets a new one.
  Result<void> start(std::shared_ptr<PulseConnection> connection, const CaptureFormat& format);
  bool running() const { return capture_ != nullptr && !capture_->failed(); }
  // Ends the record stream; cycles already queued are still delivered.
  void stop_capture();
  // Ends the stream, waits for a block call in progress on another thread, and
  // releases the block and the queue: once it returns the block is never called
  // again. Called from inside the block itself, the current call is the last
  // and the release follows its return.
  void finish();

 private:
  std::shared_ptr<IoGate> gate_;
  std::unique_ptr<PulseCapture> capture_;
};

}  // namespace system_audio::pulse
