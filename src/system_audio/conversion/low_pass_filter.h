#pragma once

#include <span>
#include <vector>

#include "system_audio/conversion/linear_resampler.h"

namespace system_audio {

// The band limit ahead of the linear resampler, so that nothing between 8 kHz
// and the source's Nyquist frequency folds back into the output. One per
// resampler, made for the same source rate; it keeps the input samples its
// next block needs, so a stream cut into blocks anywhere is filtered alike.
struct LowPassFilter {
  std::vector<float> half;      // outer taps from the oldest end inwards, then half the centre
  std::vector<float> history;   // the newest taps - 1 input samples, then the block
  std::vector<float> reversed;  // history back to front, for the mirrored half of each sum
  float bound = 0.0f;           // no sum overflows while every sample is within this

  // No taps at 16000 Hz and below: the block then passes unchanged.
  explicit LowPassFilter(double source_rate);
};

// Filters block in place, in time with the resampler that is given the block
// next: only the samples that resampler will read are computed (the others it
// never looks at are left as they came). Delays by (taps - 1) / 2 samples.
void low_pass(LowPassFilter& filter, const LinearResampler& resampler, std::span<float> block);

}  // namespace system_audio
