#pragma once

#include "system_audio/frame/messages.h"
#include "system_audio/platform/platform_ref.h"
#include "system_audio/platform/screen_capture.h"

namespace system_audio {

// A VantleSckAudioOutput owning a fresh capture state: the senders move into it
// once the instance exists (they stay with the caller when it cannot be made),
// with no resampler yet and "receiving" not yet reported. Empty on failure.
NsRef<platform::VantleSckAudioOutput> make_audio_output(PcmSender& pcm_tx, StatusSender& status_tx);

}  // namespace system_audio
