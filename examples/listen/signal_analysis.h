#pragma once

#include <optional>
#include <span>

namespace parent {

// Level relative to full scale (1.0); -inf for digital silence.
struct Level {
  double rms_dbfs = 0;
  double peak_dbfs = 0;
};
Level level_of(std::span<const float> samples);

// The strongest frequency between low and high Hz (inclusive): a Goertzel scan
// in 1 Hz steps over Hann-windowed one-second segments, refined between the
// steps by a parabola through the peak and its neighbours. nullopt for
// silence or a stream too short to tell (under 0.1 s).
std::optional<double> dominant_frequency(std::span<const float> samples, double rate, int low,
                                         int high);

}  // namespace parent
