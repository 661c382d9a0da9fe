#include "tone_check.h"

#include <cmath>
#include <numbers>

namespace pulse_test {

ToneSpan find_tone(const std::vector<float>& mono, double frequency, double rate, float threshold) {
  ToneSpan span;
  for (std::size_t n = 0; n < mono.size(); ++n) {
    if (std::fabs(mono[n]) <= threshold) continue;
    if (!span.found) span.first = n;
    span.found = true;
    span.last = n;
  }
  if (!span.found) return span;
  const double twice_cos = 2.0 * std::cos(2.0 * std::numbers::pi * frequency / rate);
  // A few samples in from each end: the onset and the end are not a sine.
  for (std::size_t n = span.first + 4; n + 5 <= span.last; ++n) {
    const double predicted = twice_cos * mono[n] - mono[n - 1];
    span.worst_break = std::max(span.worst_break, std::fabs(mono[n + 1] - predicted));
  }
  return span;
}

std::vector<float> channel_of(const std::vector<float>& interleaved, std::size_t channels,
                              std::size_t channel) {
  std::vector<float> out;
  for (std::size_t i = channel; i < interleaved.size(); i += channels)
    out.push_back(interleaved[i]);
  return out;
}

}  // namespace pulse_test
