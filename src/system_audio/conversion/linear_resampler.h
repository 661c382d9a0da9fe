#pragma once

#include <span>
#include <vector>

namespace system_audio {

// Linear interpolation from source_rate down (or across) to 16000 Hz, keeping
// its phase and the newest source sample from one block to the next.
// The rate a resampler made for source_rate works at: source_rate itself when it
// is finite and at least 16000, else 16000.
double resampler_rate(double source_rate);

struct LinearResampler {
  std::vector<float> pending;
  double source_rate;
  double position;

  // Rates that are below 16000, not finite or not a number become 16000.
  explicit LinearResampler(double source_rate);

  // Appends to out the samples at 16000 Hz that the block makes computable.
  void process(std::span<const float> block, std::vector<float>& out);
};

}  // namespace system_audio
