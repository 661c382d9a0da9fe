#pragma once

#include "system_audio/frame/messages.h"

namespace system_audio {

inline constexpr std::uint64_t PROGRESS_INTERVAL_CHUNKS = 200;

// Writes every chunk as one "PCM" line, in order, with a progress diagnostic for
// the first chunk and every 200th. Returns once the channel is closed and drained.
void run_output_pump(PcmReceiver& pcm_rx);

}  // namespace system_audio
