#include "system_audio/apple/linux/pulse_capture.h"

#include <pulse/error.h>

#include <algorithm>

#include "system_audio/apple/linux/mainloop_lock.h"

namespace system_audio::pulse {

std::size_t frames_per_piece(std::uint32_t rate) {
  return std::max<std::size_t>(rate / kPiecesPerSecond, 1);
}

PulseCapture::PulseCapture(std::shared_ptr<PulseConnection> connection, const CaptureFormat& format,
                           FrameChunker::PieceSink sink, FailureSink on_failure)
    : connection_(std::move(connection)),
      chunker_(format.channels, frames_per_piece(format.rate), std::move(sink)),
      on_failure_(std::move(on_failure)) {}

Result<std::unique_ptr<PulseCapture>> PulseCapture::open(
    std::shared_ptr<PulseConnection> connection, const CaptureFormat& format,
    FrameChunker::PieceSink sink, FailureSink on_failure) {
  // Native endianness: the buffers go to the IO block as they are.
  pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, format.rate, format.channels};
  pa_channel_map map = format.channel_map;
  if (format.channels == 1 || !pa_channel_map_compatible(&map, &spec)) {
    pa_channel_map_init_extend(&map, format.channels, PA_CHANNEL_MAP_DEFAULT);
  }
  if (!pa_sample_spec_valid(&spec)) return fail("unusable capture format");

  std::unique_ptr<PulseCapture> capture(
      new PulseCapture(connection, format, std::move(sink), std::move(on_failure)));
  MainloopLock lock(connection->mainloop());
  pa_context* context = connection->context();
  const char* name = format.stream_name.empty() ? "capture" : format.stream_name.c_str();
  capture->stream_ = pa_stream_new(context, name, &spec, &map);
  if (capture->stream_ == nullptr) {
    return fail(std::string("cannot create a record stream: ") +
                pa_strerror(pa_context_errno(context)));
  }
  pa_stream_set_state_callback(capture->stream_, on_state, capture.get());
  pa_stream_set_read_callback(capture->stream_, on_read, capture.get());

  // Small fragments so that audio leaves the server within tens of ms.
  const auto piece = uint32_t(capture->chunker_.piece_bytes());
  pa_buffer_attr attributes{};
  attributes.maxlength = uint32_t(-1);
  attributes.tlength = uint32_t(-1);
  attributes.prebuf = uint32_t(-1);
  attributes.minreq = uint32_t(-1);
  attributes.fragsize = piece;
  const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
  if (pa_stream_connect_record(capture->stream_, format.source.c_str(), &attributes, flags) < 0) {
    capture->stop_locked();
    return fail(std::string("cannot open the record stream: ") +
                pa_strerror(pa_context_errno(context)));
  }
  pa_stream* stream = capture->stream_;
  const bool ready = connection->wait_locked(
      [stream] {
        const auto state = pa_stream_get_state(stream);
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
      },
      Clock::now() + kOperationBound);
  if (!ready || pa_stream_get_state(stream) != PA_STREAM_READY) {
    const int error = pa_context_errno(context);
    capture->stop_locked();
    if (!ready) return fail("the audio server did not open the record stream in time");
    return fail(std::string("the record stream failed: ") + pa_strerror(error));
  }
  capture->rate_ = pa_stream_get_sample_spec(stream)->rate;
  return capture;
}

PulseCapture::~PulseCapture() {
  stop();
}

void PulseCapture::stop() {
  MainloopLock lock(connection_->mainloop());
  stop_locked();
}

void PulseCapture::stop_locked() {
  if (stream_ == nullptr) return;
  // Callbacks run under the lock we hold; unhooking them first means none runs
  // after this returns.
  pa_stream_set_state_callback(stream_, nullptr, nullptr);
  pa_stream_set_read_callback(stream_, nullptr, nullptr);
  if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) pa_stream_disconnect(stream_);
  pa_stream_unref(stream_);
  stream_ = nullptr;
}

bool PulseCapture::failed() {
  MainloopLock lock(connection_->mainloop());
  return failed_;
}

void PulseCapture::on_state(pa_stream* stream, void* self) {
  auto* capture = static_cast<PulseCapture*>(self);
  // Our own disconnect unhooks this callback first, so a bad state here is
  // always a failure; only its first report counts.
  if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) && !capture->failed_) {
    capture->failed_ = true;
    // A stream that fails while opening is open()'s to report.
    if (capture->rate_ != 0 && capture->on_failure_) {
      capture->on_failure_(pa_strerror(pa_context_errno(pa_stream_get_context(stream))));
    }
  }
  pa_threaded_mainloop_signal(capture->connection_->mainloop(), 0);
}

void PulseCapture::on_read(pa_stream* stream, size_t, void* self) {
  auto* capture = static_cast<PulseCapture*>(self);
  while (pa_stream_readable_size(stream) > 0) {
    const void* data = nullptr;
    size_t size = 0;
    if (pa_stream_peek(stream, &data, &size) < 0 || size == 0) return;
    if (data == nullptr) {
      capture->chunker_.push_silence(size);
    } else {
      capture->chunker_.push(data, size);
    }
    pa_stream_drop(stream);
  }
}

}  // namespace system_audio::pulse
