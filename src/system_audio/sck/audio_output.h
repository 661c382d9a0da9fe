#pragma once

#include "system_audio/apple/apple_ref.h"
#include "system_audio/apple/screen_capture.h"
#include "system_audio/frame/messages.h"

namespace system_audio {

// A VantleSckAudioOutput owning a fresh capture state: the senders move into it
// once the instance exists (they stay with the caller when it cannot be made),
// with no resampler yet and "receiving" not yet reported. Empty on failure.
NsRef<apple::VantleSckAudioOutput> make_audio_output(PcmSender& pcm_tx, StatusSender& status_tx);

}  // namespace system_audio
