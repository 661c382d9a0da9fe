#pragma once

#include <pulse/channelmap.h>

#include <cstdint>
#include <memory>
#include <string>

#include "system_audio/apple/core_audio_types.h"
#include "system_audio/result.h"

namespace system_audio::pulse {

struct CaptureFormat {
  std::string source;  // e.g. a sink's monitor source
  std::uint32_t rate = 0;
  std::uint8_t channels = 0;  // 1 asks the server to mix down
  // The source's own map when channels is its channel count, so nothing is
  // remapped; unused for one channel.
  pa_channel_map channel_map{};
  std::string stream_name;
};

// Where a record stream's blocks go, on the stream's own thread, one at a time
// and in order: each ~10 ms of whole frames as a one-buffer interleaved list,
// valid for the call, with the rate the server delivers. failed (may be null)
// is told once, after the last block, when the stream fails while open (its
// server or source went away), with the server's own description.
struct BlockSink {
  void (*deliver)(void* context, const AudioBufferList& block, double rate);
  void (*failed)(void* context, const char* server_text);
  void* context;
};

struct RecordLoop;

// A record stream in native-endian float32 on a connection and a thread of its
// own: a plain libpulse mainloop whose read callback hands each block to the
// sink right there, so that no other thread wakes for it. Holes in the stream
// arrive as silence, so the capture stays continuous. Destroying it ends it:
// once that returns, the sink is not called again (called from the sink
// itself, the current call is the last).
class RecordStream {
 public:
  // Connects and opens the stream on the calling thread, each step bounded,
  // then starts the stream's thread.
  static Result<std::unique_ptr<RecordStream>> open(const CaptureFormat& format, BlockSink sink);
  ~RecordStream();
  RecordStream(const RecordStream&) = delete;
  RecordStream& operator=(const RecordStream&) = delete;

  // True once the stream or its connection has failed.
  bool failed() const;

 private:
  explicit RecordStream(std::shared_ptr<RecordLoop> loop) : loop_(std::move(loop)) {}
  std::shared_ptr<RecordLoop> loop_;
};

}  // namespace system_audio::pulse
