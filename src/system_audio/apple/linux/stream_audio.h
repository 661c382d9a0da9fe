#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "system_audio/apple/linux/record_stream.h"
#include "system_audio/apple/linux/server_slot.h"

namespace system_audio::pulse {

// The connection that the screen-capture calls share.
ServerSlot& screen_capture_server();

// Asks the audio server, on a thread of its own, whether it answers, bounded so
// that a missing or stuck server is known within about a second and a half;
// then calls answer with nothing, or with the server's own error text.
void ask_server(std::function<void(std::optional<std::string> error)> answer);

// What a stream configuration asks of the audio; the defaults are the
// framework's.
struct AudioRequest {
  bool captures_audio = false;
  std::uint32_t rate = 48000;
  std::uint32_t channels = 2;
};

struct StreamAudioCore;

// The audio half of one stream: once an output is attached and the stream
// started, the default sink's monitor is recorded at the requested rate and
// channel count (the server converts) and its blocks go to the output's sink.
// Destroying it ends the capture (after waiting for a start that is opening
// the record stream): nothing is delivered after that.
class StreamAudio {
 public:
  using Started = std::function<void(std::optional<std::string> error)>;

  explicit StreamAudio(AudioRequest request);
  ~StreamAudio();
  StreamAudio(const StreamAudio&) = delete;
  StreamAudio& operator=(const StreamAudio&) = delete;

  // Where the audio goes. False when the stream has an output already.
  bool attach(BlockSink sink);
  // On a thread of its own: opens the record stream, then calls started with
  // nothing once it records, or with the server's text. Without an output, or
  // without audio asked for, only the server is asked.
  void start(Started started);

 private:
  std::shared_ptr<StreamAudioCore> core_;
};

}  // namespace system_audio::pulse
