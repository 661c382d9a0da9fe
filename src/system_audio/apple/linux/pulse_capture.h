#pragma once

#include <pulse/channelmap.h>
#include <pulse/stream.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "system_audio/apple/linux/frame_chunker.h"
#include "system_audio/apple/linux/pulse_connection.h"
#include "system_audio/result.h"

namespace system_audio::pulse {

// About 10 ms of audio per piece: what a HAL IO cycle carries.
inline constexpr std::uint32_t kPiecesPerSecond = 100;

struct CaptureFormat {
  std::string source;  // e.g. a sink's monitor source
  std::uint32_t rate = 0;
  std::uint8_t channels = 0;  // 1 asks the server to mix down
  // The source's own map when channels is its channel count, so nothing is
  // remapped; unused for one channel.
  pa_channel_map channel_map{};
  std::string stream_name;
};

// Frames per piece at a rate: about 10 ms, never 0.
std::size_t frames_per_piece(std::uint32_t rate);

// A record stream on one source in native-endian float32. Pieces of about
// 10 ms of interleaved frames reach the sink in order on the connection's
// mainloop thread (with its lock held, so the sink must be quick); holes in
// the stream arrive as silence, so the capture stays continuous. A stream that
// fails once open (its server or source went away) tells on_failure once, on
// the same thread, with the server's description of the failure.
class PulseCapture {
 public:
  using FailureSink = std::function<void(const std::string& server_text)>;

  static Result<std::unique_ptr<PulseCapture>> open(std::shared_ptr<PulseConnection> connection,
                                                    const CaptureFormat& format,
                                                    FrameChunker::PieceSink sink,
                                                    FailureSink on_failure = {});
  ~PulseCapture();
  PulseCapture(const PulseCapture&) = delete;
  PulseCapture& operator=(const PulseCapture&) = delete;

  // Ends the stream. Once it returns, the sink is never called again.
  void stop();
  // True once the stream or the connection has failed (the server went away).
  bool failed();
  // The rate the server delivers (the one asked for: the server converts).
  std::uint32_t rate() const { return rate_; }

 private:
  PulseCapture(std::shared_ptr<PulseConnection> connection, const CaptureFormat& format,
               FrameChunker::PieceSink sink, FailureSink on_failure);
  static void on_state(pa_stream* stream, void* self);
  static void on_read(pa_stream* stream, size_t nbytes, void* self);
  void stop_locked();

  std::shared_ptr<PulseConnection> connection_;
  pa_stream* stream_ = nullptr;
  FrameChunker chunker_;
  FailureSink on_failure_;
  std::uint32_t rate_ = 0;
  bool failed_ = false;
};

}  // namespace system_audio::pulse
