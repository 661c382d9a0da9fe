#pragma once

#include <pulse/context.h>
#include <pulse/thread-mainloop.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "system_audio/platform/pulse/sink_info.h"
#include "system_audio/result.h"

namespace system_audio::pulse {

using Clock = std::chrono::steady_clock;

// A bound on every wait for the server, so that a server that is gone or stuck
// makes a call fail instead of hanging the helper's start.
inline constexpr std::chrono::milliseconds kConnectBound{2000};
inline constexpr std::chrono::milliseconds kOperationBound{2000};

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

  pa_threaded_mainloop* mainloop() const { return mainloop_; }
  pa_context* context() const { return context_; }

  // With the mainloop lock held: waits until done() holds (true), or until the
  // connection fails or the deadline passes (false). Callbacks that change what
  // done() reads must call pa_threaded_mainloop_signal.
  bool wait_locked(const std::function<bool()>& done, Clock::time_point deadline);

 private:
  PulseConnection() = default;
  Result<std::optional<std::string>> default_sink_name_locked();
  Result<std::optional<SinkInfo>> sink_named_locked(const std::string& name);
  bool good_locked() const;

  pa_threaded_mainloop* mainloop_ = nullptr;
  pa_context* context_ = nullptr;
};

// The error texts of this module, for callers that tell them apart.
inline constexpr const char* kServerLostText = "the audio server connection was lost";

}  // namespace system_audio::pulse
