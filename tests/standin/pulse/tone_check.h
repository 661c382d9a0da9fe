#pragma once

#include <cstddef>
#include <vector>

namespace pulse_test {

struct ToneSpan {
  bool found = false;
  std::size_t first = 0;  // first sample above the threshold
  std::size_t last = 0;   // last sample above the threshold
  // Largest deviation inside the span from the sine recurrence
  // x[n+1] = 2 cos(w) x[n] - x[n-1]: a lost, repeated or reordered piece of
  // the stream breaks it far beyond rounding.
  double worst_break = 0;
};

// Finds the tone of that frequency in a mono stream at that rate.
ToneSpan find_tone(const std::vector<float>& mono, double frequency, double rate, float threshold);

// Every channel-th sample starting at channel.
std::vector<float> channel_of(const std::vector<float>& interleaved, std::size_t channels,
                              std::size_t channel);

}  // namespace pulse_test
