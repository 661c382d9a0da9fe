#pragma once

#include "system_audio/frame/messages.h"
#include "system_audio/result.h"

namespace system_audio {

// The screen-capture backend is not built yet: its start says so instead of
// pretending, and an empty session holds nothing.
struct SckAudioSession {
  static Result<SckAudioSession> start(PcmSender pcm_tx, StatusSender status_tx);
};

}  // namespace system_audio
