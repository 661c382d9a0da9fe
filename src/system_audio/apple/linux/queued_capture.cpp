#include "system_audio/apple/linux/queued_capture.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "system_audio/apple/standin/runtime.h"

namespace system_audio::pulse {

// Shared by the capture and every task it queued. A task calls out only while
// the gate is open, and holds the gate's mutex for the call, so closing the
// gate waits for a call in progress.
struct DeliveryGate {
  std::mutex mutex;
  bool open = true;
  // Cleared by a failure report: after it nothing more is delivered. Each
  // start is a generation, so a late report of an earlier stream's failure
  // does not silence its successor.
  bool delivering = true;
  std::uint64_t generation = 0;
  std::uint32_t rate = 0;  // of the current stream
  std::uint32_t channels = 0;
  bool release_after_call = false;
  std::atomic<std::thread::id> calling{};
  dispatch_queue_t queue = nullptr;
  QueuedCapture::Deliver deliver;
  QueuedCapture::Failed failed;

  // With the gate closed, so no task reads what goes here.
  void release_objects() {
    deliver = nullptr;
    failed = nullptr;
    dispatch_release(queue);
  }

  // Runs call under the gate when it is open; releases afterwards when the
  // call finished the capture from inside.
  template <class Call>
  void run(Call call) {
    bool release = false;
    {
      std::lock_guard lock(mutex);
      if (!open) return;
      calling = std::this_thread::get_id();
      call();
      calling = std::thread::id();
      release = release_after_call;
    }
    if (release) release_objects();
  }
};

QueuedCapture::QueuedCapture(dispatch_queue_t queue, Deliver deliver, Failed failed)
    : gate_(std::make_shared<DeliveryGate>()) {
  dispatch_retain(queue);
  gate_->queue = queue;
  gate_->deliver = std::move(deliver);
  gate_->failed = std::move(failed);
}

QueuedCapture::~QueuedCapture() {
  finish();
}

Result<std::uint32_t> QueuedCapture::start(std::shared_ptr<PulseConnection> connection,
                                           const CaptureFormat& format) {
  if (!gate_) return fail("the capture is finished");
  if (running()) return capture_->rate();
  capture_.reset();
  // Held until the stream's rate is known, so that no piece of it is
  // delivered before (none can be queued before the stream is open anyway).
  std::unique_lock lock(gate_->mutex);
  gate_->delivering = true;
  const std::uint64_t generation = ++gate_->generation;
  // Both run on the server thread: copy and hand over, never call out here.
  auto piece = [gate = gate_](std::span<const float> interleaved) {
    standin::dispatch_async(
        gate->queue,
        [gate, samples = std::vector<float>(interleaved.begin(), interleaved.end())]() mutable {
          gate->run([&] {
            if (gate->delivering) gate->deliver(samples, gate->rate, gate->channels);
          });
        });
  };
  auto failure = [gate = gate_, generation](const std::string& text) {
    standin::dispatch_async(gate->queue, [gate, generation, text] {
      gate->run([&] {
        if (!gate->delivering || gate->generation != generation) return;
        gate->delivering = false;
        if (gate->failed) gate->failed(text);
      });
    });
  };
  auto capture = PulseCapture::open(std::move(connection), format, piece, failure);
  if (!capture) return fail(capture.error());
  capture_ = std::move(*capture);
  gate_->rate = capture_->rate();
  gate_->channels = format.channels;
  return gate_->rate;
}

void QueuedCapture::stop_capture() {
  capture_.reset();
}

void QueuedCapture::finish() {
  // The stream goes first: after it nothing new is queued.
  capture_.reset();
  if (!gate_) return;
  if (gate_->calling.load() == std::this_thread::get_id()) {
    // Inside a call: this thread holds the gate already.
    gate_->open = false;
    gate_->release_after_call = true;
  } else {
    {
      std::lock_guard lock(gate_->mutex);
      gate_->open = false;
    }
    // Not under the gate: the last release of a queue runs its queued tasks,
    // which take the gate to see that it is closed.
    gate_->release_objects();
  }
  gate_.reset();
}

}  // namespace system_audio::pulse
