#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "system_audio/frame/channel.h"

namespace system_audio {

// Mono little-endian f32 samples at 16000 Hz, never empty.
using PcmChunk = std::vector<std::uint8_t>;
using StatusText = std::string;

using PcmSender = Sender<PcmChunk>;
using PcmReceiver = Receiver<PcmChunk>;
using StatusSender = Sender<StatusText>;
using StatusReceiver = Receiver<StatusText>;

inline constexpr double TARGET_SAMPLE_RATE = 16000.0;

}  // namespace system_audio
