#include "system_audio/apple/linux/record_stream.h"

#include <pulse/error.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>
#include <sys/poll.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "system_audio/apple/linux/pulse_connection.h"

namespace system_audio::pulse {

// About 10 ms of audio per block: what one IO cycle of the HAL carries.
constexpr std::uint32_t kBlocksPerSecond = 100;

// Everything the stream's thread uses; it goes with the last of the stream and
// the thread, after the loop has ended.
struct RecordLoop {
  pa_mainloop* mainloop = nullptr;
  pa_context* context = nullptr;
  pa_stream* stream = nullptr;
  BlockSink sink{};
  std::uint32_t channels = 0;
  double rate = 0;
  std::vector<float> block;  // the block being filled from the stream
  std::size_t filled = 0;    // bytes
  bool open = false;         // ready: a failure from now on is the sink's to hear
  // Held by whoever runs the loop, except while it polls and while the sink
  // is called: a stopper holding it knows the loop is polling (where a wakeup
  // reaches it) or will see `stopping` before it calls the sink again.
  std::mutex mutex;
  bool stopping = false;
  bool ended = false;  // the loop's thread is done with it
  std::condition_variable end;
  std::atomic<bool> failed{false};
  std::thread::id runner;  // the loop's thread, detached: it may end by itself

  ~RecordLoop() {
    if (stream != nullptr) {
      pa_stream_set_state_callback(stream, nullptr, nullptr);
      pa_stream_set_read_callback(stream, nullptr, nullptr);
      if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) pa_stream_disconnect(stream);
      pa_stream_unref(stream);
    }
    if (context != nullptr) {
      pa_context_disconnect(context);
      pa_context_unref(context);
    }
    if (mainloop != nullptr) pa_mainloop_free(mainloop);
  }

  std::size_t block_bytes() const { return block.size() * sizeof(float); }

  // Calls out with the lock dropped, the loop's thread holding it otherwise.
  template <class Call>
  void call_out(Call call) {
    if (stopping) return;
    mutex.unlock();
    call();
    mutex.lock();
  }

  void deliver(const void* frames) {
    AudioBufferList list{1, {{channels, std::uint32_t(block_bytes()), const_cast<void*>(frames)}}};
    call_out([&] { sink.deliver(sink.context, list, rate); });
  }

  // Whole blocks straight from the server's memory; what is left over waits
  // in `block` for the next read. Without data: a hole, taken as silence.
  void take(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    auto* storage = reinterpret_cast<unsigned char*>(block.data());
    while (size > 0) {
      if (filled == 0 && bytes != nullptr && size >= block_bytes()) {
        deliver(bytes);
        bytes += block_bytes();
        size -= block_bytes();
        continue;
      }
      const std::size_t step = std::min(block_bytes() - filled, size);
      if (bytes != nullptr) {
        std::memcpy(storage + filled, bytes, step);
        bytes += step;
      } else {
        std::memset(storage + filled, 0, step);
      }
      filled += step;
      size -= step;
      if (filled == block_bytes()) {
        filled = 0;
        deliver(storage);
      }
    }
  }

  static void on_read(pa_stream* stream, size_t, void* self) {
    auto& loop = *static_cast<RecordLoop*>(self);
    while (pa_stream_readable_size(stream) > 0) {
      const void* data = nullptr;
      size_t size = 0;
      if (pa_stream_peek(stream, &data, &size) < 0 || size == 0) return;
      loop.take(data, size);
      pa_stream_drop(stream);
    }
  }

  // Our own teardown unhooks this first, so a bad state here is a failure.
  static void on_state(pa_stream* stream, void* self) {
    auto& loop = *static_cast<RecordLoop*>(self);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) || !loop.open) return;
    if (loop.failed.exchange(true) || loop.sink.failed == nullptr) return;
    const char* text = pa_strerror(pa_context_errno(pa_stream_get_context(stream)));
    loop.call_out([&] { loop.sink.failed(loop.sink.context, text); });
  }

  static int poll_unlocked(pollfd* fds, unsigned long count, int timeout, void* self) {
    auto& loop = *static_cast<RecordLoop*>(self);
    loop.mutex.unlock();
    const int ready = ::poll(fds, count, timeout);
    loop.mutex.lock();
    return ready;
  }

  // Runs the loop on the calling thread until done() holds (true) or the
  // deadline passes (false).
  template <class Done>
  bool run_until(Clock::time_point deadline, Done done) {
    while (!done()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
      if (left.count() <= 0 || pa_mainloop_prepare(mainloop, int(left.count())) < 0 ||
          pa_mainloop_poll(mainloop) < 0 || pa_mainloop_dispatch(mainloop) < 0) {
        return done();
      }
    }
    return true;
  }
};

Result<std::unique_ptr<RecordStream>> RecordStream::open(const CaptureFormat& format,
                                                         BlockSink sink) {
  // Native endianness: the blocks go to the IO block as they are.
  pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, format.rate, format.channels};
  pa_channel_map map = format.channel_map;
  if (!pa_sample_spec_valid(&spec)) return fail("unusable capture format");
  if (format.channels == 1 || !pa_channel_map_compatible(&map, &spec)) {
    pa_channel_map_init_extend(&map, format.channels, PA_CHANNEL_MAP_DEFAULT);
  }

  auto loop = std::make_shared<RecordLoop>();
  loop->sink = sink;
  loop->mainloop = pa_mainloop_new();
  if (loop->mainloop == nullptr) return fail("cannot create a PulseAudio mainloop");
  std::unique_lock running(loop->mutex);
  pa_mainloop_set_poll_func(loop->mainloop, &RecordLoop::poll_unlocked, loop.get());
  pa_context* context = pa_context_new(pa_mainloop_get_api(loop->mainloop), kApplicationName);
  loop->context = context;
  if (context == nullptr) return fail("cannot create a PulseAudio context");
  // No autospawn: a helper that starts a sound server would capture only silence.
  if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    return fail(server_error(context, "cannot connect to the audio server"));
  }
  const bool connected = loop->run_until(Clock::now() + kConnectBound, [context] {
    const auto state = pa_context_get_state(context);
    return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
  });
  if (pa_context_get_state(context) != PA_CONTEXT_READY) {
    if (connected) return fail(server_error(context, "cannot connect to the audio server"));
    return fail("the audio server did not answer in time");
  }

  const char* name = format.stream_name.empty() ? "capture" : format.stream_name.c_str();
  pa_stream* stream = pa_stream_new(context, name, &spec, &map);
  loop->stream = stream;
  if (stream == nullptr) return fail(server_error(context, "cannot create a record stream"));
  pa_stream_set_state_callback(stream, &RecordLoop::on_state, loop.get());
  pa_stream_set_read_callback(stream, &RecordLoop::on_read, loop.get());
  loop->channels = format.channels;
  loop->rate = format.rate;  // what the server converts to
  loop->block.resize(std::size_t(format.channels) *
                     std::max<std::size_t>(format.rate / kBlocksPerSecond, 1));
  // Fragments of one block, so that audio leaves the server as it comes.
  pa_buffer_attr attributes{};
  attributes.maxlength = attributes.tlength = attributes.prebuf = attributes.minreq = UINT32_MAX;
  attributes.fragsize = std::uint32_t(loop->block_bytes());
  const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
  if (pa_stream_connect_record(stream, format.source.c_str(), &attributes, flags) < 0) {
    return fail(server_error(context, "cannot open the record stream"));
  }
  const bool settled = loop->run_until(Clock::now() + kOperationBound, [stream] {
    const auto state = pa_stream_get_state(stream);
    return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
  });
  if (pa_stream_get_state(stream) != PA_STREAM_READY) {
    if (!settled) return fail("the audio server did not open the record stream in time");
    return fail(server_error(context, "the record stream failed"));
  }
  loop->open = true;

  running.unlock();
  try {
    std::thread thread([loop] {
      {
        std::lock_guard lock(loop->mutex);
        while (!loop->stopping && !loop->failed.load() &&
               pa_mainloop_iterate(loop->mainloop, 1, nullptr) >= 0) {
        }
        loop->ended = true;
      }
      loop->end.notify_all();
    });
    loop->runner = thread.get_id();
    thread.detach();
  } catch (const std::system_error& error) {
    return fail(std::string("cannot start the record thread: ") + error.what());
  }
  return std::unique_ptr<RecordStream>(new RecordStream(std::move(loop)));
}

RecordStream::~RecordStream() {
  std::unique_lock lock(loop_->mutex);
  loop_->stopping = true;
  pa_mainloop_wakeup(loop_->mainloop);
  // From the sink on the stream's own thread, the loop ends after this call,
  // and the thread lets go of it then.
  if (loop_->runner != std::this_thread::get_id()) {
    loop_->end.wait(lock, [this] { return loop_->ended; });
  }
}

bool RecordStream::failed() const {
  return loop_->failed.load();
}

}  // namespace system_audio::pulse
