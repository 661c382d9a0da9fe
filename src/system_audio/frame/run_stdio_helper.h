#pragma once

#include "system_audio/coreaudio/coreaudio_session.h"
#include "system_audio/frame/messages.h"
#include "system_audio/result.h"
#include "system_audio/sck/sck_session.h"

namespace system_audio {

// The start operation of each backend. The real ones by default; the frame's
// own tests put scripted ones in their place.
struct BackendStarts {
  Result<CoreAudioSession> (*coreaudio)(PcmSender, StatusSender) = &CoreAudioSession::start;
  Result<SckAudioSession> (*sck)(PcmSender, StatusSender) = &SckAudioSession::start;
};

// The helper's whole life: boot, backend start, "READY", statuses and the PCM
// pump until the PCM channel closes. An error means nothing reached stdout.
Result<void> run_stdio_helper(int argc, const char* const* argv,
                              const BackendStarts& backends = {});

// What main does: runs the helper and turns an error into the "ERROR" line and
// exit status 1. Returns the process exit status.
int helper_main(int argc, const char* const* argv, const BackendStarts& backends = {});

}  // namespace system_audio
