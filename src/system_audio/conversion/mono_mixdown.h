#pragma once

#include <optional>
#include <vector>

#include "system_audio/conversion/audio_types.h"

namespace system_audio {

// One f32 sample per frame: the channels of a frame averaged, and buffers
// averaged with equal weight. nullopt when the list has no readable buffer.
std::optional<std::vector<float>> copy_mono_f32_input(const AudioBufferList& list);

}  // namespace system_audio
