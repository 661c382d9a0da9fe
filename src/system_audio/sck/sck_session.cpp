#include "system_audio/sck/sck_session.h"

namespace system_audio {

Result<SckAudioSession> SckAudioSession::start(PcmSender, StatusSender) {
  return fail("computer-audio backend sck is not built into this program");
}

}  // namespace system_audio
