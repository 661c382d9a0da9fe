#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "system_audio/apple/foundation.h"
#include "system_audio/apple/linux/pulse_capture.h"
#include "system_audio/result.h"

namespace system_audio::pulse {

struct DeliveryGate;

// A record stream whose ~10 ms pieces reach a serial dispatch queue: each
// piece is copied into a task that hands it, with the rate the server delivers
// and the channel count, to `deliver` on the queue, one at a time and in
// order. A stream that fails while running (the server went away, its source
// was removed) queues one last task that hands the server's text to `failed`;
// nothing is delivered after it. Both run behind a gate: once finish()
// returns, neither is called again.
class QueuedCapture {
 public:
  // interleaved is the task's own copy of the piece: deliver may take it.
  using Deliver = std::function<void(std::vector<float>& interleaved, std::uint32_t rate,
                                     std::uint32_t channels)>;
  using Failed = std::function<void(const std::string& server_text)>;

  // Retains the queue; deliver and failed (and what they hold) go when the
  // capture is finished.
  QueuedCapture(dispatch_queue_t queue, Deliver deliver, Failed failed = {});
  ~QueuedCapture();
  QueuedCapture(const QueuedCapture&) = delete;
  QueuedCapture& operator=(const QueuedCapture&) = delete;

  // Opens the record stream (waits for the server, bounded); a running one is
  // left as it is, a failed one is replaced. The rate the server delivers.
  Result<std::uint32_t> start(std::shared_ptr<PulseConnection> connection,
                              const CaptureFormat& format);
  bool running() const { return capture_ != nullptr && !capture_->failed(); }
  // Ends the record stream; pieces already queued are still delivered.
  void stop_capture();
  // Ends the stream, waits for a call in progress on another thread, and lets
  // go of the queue and the two functions. Called from inside one of them, the
  // current call is the last and the release follows its return.
  void finish();

 private:
  std::shared_ptr<DeliveryGate> gate_;
  std::unique_ptr<PulseCapture> capture_;
};

}  // namespace system_audio::pulse
