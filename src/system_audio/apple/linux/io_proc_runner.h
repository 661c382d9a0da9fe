#pragma once

#include <memory>

#include "system_audio/apple/core_audio.h"
#include "system_audio/apple/linux/queued_capture.h"
#include "system_audio/result.h"

namespace system_audio::pulse {

// One IOProc: its IO block and serial queue (both retained while it exists)
// and, once started, the record stream whose 10 ms pieces become IO cycles:
// each piece is copied into a task on the queue that calls the block with a
// one-buffer interleaved AudioBufferList. The task owns the buffer, so it stays
// valid until the block returns.
class IoProcRunner {
 public:
  IoProcRunner(AudioDeviceIOBlock block, dispatch_queue_t queue);
  IoProcRunner(const IoProcRunner&) = delete;
  IoProcRunner& operator=(const IoProcRunner&) = delete;

  // Opens the record stream; a running IOProc is left as it is, one whose
  // stream has failed (its server went away) gets a new one.
  Result<void> start(std::shared_ptr<PulseConnection> connection, const CaptureFormat& format);
  bool running() const { return capture_.running(); }
  // Ends the record stream; cycles already queued are still delivered.
  void stop_capture() { capture_.stop_capture(); }
  // Ends the stream, waits for a block call in progress on another thread, and
  // releases the block and the queue: once it returns the block is never called
  // again. Called from inside the block itself, the current call is the last
  // and the release follows its return.
  void finish() { capture_.finish(); }

 private:
  QueuedCapture capture_;
};

}  // namespace system_audio::pulse
