#include "tone.h"

#include <cmath>
#include <numbers>

namespace parent {

std::vector<float> stereo_sine(double frequency, double amplitude, std::size_t frames,
                               std::size_t lead_in_frames) {
  std::vector<float> samples((lead_in_frames + frames) * 2, 0.0f);
  const double step = 2.0 * std::numbers::pi * frequency / 48000.0;
  for (std::size_t n = 0; n < frames; ++n) {
    const float value = float(amplitude * std::sin(step * double(n)));
    samples[(lead_in_frames + n) * 2] = value;
    samples[(lead_in_frames + n) * 2 + 1] = value;
  }
  return samples;
}

}  // namespace parent
