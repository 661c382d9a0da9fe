#pragma once

#include <pulse/context.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "system_audio/apple/linux/sink_info.h"
#include "system_audio/result.h"

namespace system_audio::pulse {

using Clock = std::chrono::steady_clock;

// The name the server shows for the helper's connections.
inline constexpr const char* kApplicationName = "vantle_audio_helper";

// A bound on every wait for the server, so that a server that is gone or stuck
// makes a call fail instead of hanging the helper's start.
inline constexpr std::chrono::milliseconds kConnectBound{2000};
inline constexpr std::chrono::milliseconds kOperationBound{2000};

// What the server tells a watching connection, on its mainloop thread.
enum class ServerEvent {
  sink_removed,    // index: the sink's
  server_changed,  // e.g. its default sink
  lost,            // the connection failed or the server closed it
};
// One playback stream of the server (a sink input): the process of its client
// and whether it plays (is not corked).
struct PlaybackStream {
  pid_t pid = 0;
  bool playing = false;
};

// Called with the mainloop lock held: must be quick and take no lock that is
// ever held while waiting for the server.
using ServerEventSink = void (*)(ServerEvent event, std::uint32_t index);

// One connection to the audio server on a libpulse threaded mainloop. The
// server is found by libpulse's own settings (PULSE_SERVER, client.conf, the
// user's runtime directory); a server is never spawned.
class PulseConnection {
 public:
  static Result<std::shared_ptr<PulseConnection>> connect(
      std::chrono::milliseconds bound = kConnectBound);

  ~PulseConnection();
  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  // False once the server has gone away (or closed the connection).
  bool alive();

  // The default sink, or nullopt when the server has none.
  Result<std::optional<SinkInfo>> default_sink();
  // The sink of that name, or nullopt when the server has no such sink.
  Result<std::optional<SinkInfo>> sink_named(const std::string& name);

  // Every playback stream whose client names its process.
  Result<std::vector<PlaybackStream>> playback_streams();

  // Subscribes to the server's sink and server events and reports them, and the
  // connection's loss, to sink from now on. Later calls keep the first sink.
  Result<void> watch(ServerEventSink sink);

  // With the mainloop lock held: waits until done() holds (true), or until the
  // connection fails or the deadline passes (false). Callbacks that change what
  // done() reads must call pa_threaded_mainloop_signal.
  bool wait_locked(const std::function<bool()>& done, Clock::time_point deadline);

 private:
  PulseConnection() = default;
  Result<std::optional<std::string>> default_sink_name_locked();
  Result<std::optional<SinkInfo>> sink_named_locked(const std::string& name);
  bool good_locked() const;
  // Waits for an operation's reply, or fails with why none came; an operation
  // still pending at the end is cancelled, so its callback never runs against
  // a gone reply slot.
  Result<void> finish_locked(pa_operation* operation, const bool& done);
  static void on_state(pa_context* context, void* self);
  static void on_event(pa_context* context, pa_subscription_event_type_t type, std::uint32_t index,
                       void* self);

  pa_threaded_mainloop* mainloop_ = nullptr;
  pa_context* context_ = nullptr;
  ServerEventSink events_ = nullptr;  // read and written under the mainloop lock
};

// The error texts of this module, for callers that tell them apart.
inline constexpr const char* kServerLostText = "the audio server connection was lost";

// "what: " and libpulse's words for the context's last error.
std::string server_error(pa_context* context, const char* what);

// libpulse's own words for the failure behind one of this module's error texts,
// e.g. "Connection refused", "Timeout".
std::string server_reason(const std::string& error);

}  // namespace system_audio::pulse
