#pragma once

#include <span>

#include "system_audio/frame/messages.h"

namespace system_audio {

// Little-endian IEEE-754 binary32, bit for bit, 4 bytes a sample, no header.
PcmChunk encode_pcm_chunk(std::span<const float> samples);

}  // namespace system_audio
