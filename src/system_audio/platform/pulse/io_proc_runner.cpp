#include "system_audio/platform/pulse/io_proc_runner.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "system_audio/platform/standin/runtime.h"

namespace system_audio::pulse {

// Shared by the IOProc and every queued cycle. A cycle calls the block only
// while the gate is open, and holds the gate's mutex for the call, so closing
// the gate waits for a call in progress.
struct IoGate {
  std::mutex mutex;
  bool open = true;
  bool release_after_call = false;
  std::atomic<std::thread::id> calling{};
  AudioDeviceIOBlock block;
  dispatch_queue_t queue;

  void release_objects() {
    Block_release(block);
    dispatch_release(queue);
  }
};

namespace {

void run_cycle(IoGate& gate, std::vector<float>& samples, std::uint32_t channels) {
  bool release = false;
  {
    std::lock_guard lock(gate.mutex);
    if (!gate.open) return;
    AudioBufferList list{};
    list.mNumberBuffers = 1;
    list.mBuffers[0].mNumberChannels = channels;
    list.mBuffers[0].mDataByteSize = std::uint32_t(samples.size() * sizeof(float));
    list.mBuffers[0].mData = samples.data();
    gate.calling = std::this_thread::get_id();
    standin::invoke_block<platform::AudioDeviceIOBlockInvoke>(gate.block, nullptr, &list, nullptr,
                                                              nullptr, nullptr);
    gate.calling = std::thread::id();
    release = gate.release_after_call;
  }
  if (release) gate.release_objects();
}

}  // namespace

IoProcRunner::IoProcRunner(AudioDeviceIOBlock block, dispatch_queue_t queue)
    : gate_(std::make_shared<IoGate>()) {
  gate_->block = Block_copy(block);
  dispatch_retain(queue);
  gate_->queue = queue;
}

IoProcRunner::~IoProcRunner() {
  finish();
}

Result<void> IoProcRunner::start(std::shared_ptr<PulseConnection> connection,
                                 const CaptureFormat& format) {
  if (!gate_) return fail("the IOProc is gone");
  if (running()) return {};
  capture_.reset();
  const std::uint32_t channels = format.channels;
  auto capture = PulseCapture::open(
      std::move(connection), format, [gate = gate_, channels](std::span<const float> piece) {
        // Runs on the server thread: copy and hand over, never call the block here.
        standin::dispatch_async(
            gate->queue,
            [gate, channels, samples = std::vector<float>(piece.begin(), piece.end())]() mutable {
              run_cycle(*gate, samples, channels);
            });
      });
  if (!capture) return fail(capture.error());
  capture_ = std::move(*capture);
  return {};
}

void IoProcRunner::stop_capture() {
  capture_.reset();
}

void IoProcRunner::finish() {
  // The stream goes first: after it no new cycle is queued.
  capture_.reset();
  if (!gate_) return;
  if (gate_->calling.load() == std::this_thread::get_id()) {
    // Inside the block: this thread holds the gate already.
    gate_->open = false;
    gate_->release_after_call = true;
  } else {
    {
      std::lock_guard lock(gate_->mutex);
      gate_->open = false;
    }
    // Not under the gate: the last release of a queue runs its queued cycles,
    // which take the gate to see that it is closed.
    gate_->release_objects();
  }
  gate_.reset();
}

}  // namespace system_audio::pulse
