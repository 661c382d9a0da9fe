#pragma once

#include <memory>
#include <utility>

#include "system_audio/frame/messages.h"
#include "system_audio/frame/options.h"
#include "system_audio/result.h"

namespace system_audio {

// A running session of any backend, held by the frame without knowing its
// type: releasing the owner releases the session.
using OwnedSession = std::unique_ptr<void, void (*)(void*)>;

template <class Session>
OwnedSession own_session(Session session) {
  return OwnedSession(new Session(std::move(session)),
                      [](void* held) { delete static_cast<Session*>(held); });
}

// One row of the backend table: the name the command line selects and the
// start operation, which takes the options and both sending ends.
struct BackendStart {
  const char* name;
  Result<OwnedSession> (*start)(const Options& options, PcmSender pcm_tx, StatusSender status_tx);
};

// A backend's typed start as a table entry: `start_owned<&CoreAudioSession::start>`.
template <auto Start>
Result<OwnedSession> start_owned(const Options& options, PcmSender pcm_tx, StatusSender status_tx) {
  auto started = Start(options, std::move(pcm_tx), std::move(status_tx));
  if (!started) return fail(std::move(started.error()));
  return own_session(std::move(*started));
}

}  // namespace system_audio
