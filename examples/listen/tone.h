#pragma once

#include <cstddef>
#include <vector>

namespace parent {

// A sine tone as interleaved stereo float32 samples at 48000 Hz, the same value
// in both channels: amplitude * sin(2 pi f n / 48000) for n = 0 .. frames-1,
// after lead_in_frames of silence.
std::vector<float> stereo_sine(double frequency, double amplitude, std::size_t frames,
                               std::size_t lead_in_frames = 0);

}  // namespace parent
