#pragma once

#include <vector>

#include "system_audio/apple/core_audio_types.h"

namespace system_audio {

// One f32 sample per frame into mono (its old content replaced): the channels
// of a frame averaged, and buffers averaged with equal weight. False, with
// mono left as it was, when the list has no readable buffer.
bool copy_mono_f32_input(const AudioBufferList& list, std::vector<float>& mono);

}  // namespace system_audio
