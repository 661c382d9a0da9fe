#include "signal_analysis.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace parent {
namespace {

double dbfs(double amplitude) {
  return amplitude > 0 ? 20.0 * std::log10(amplitude) : -std::numeric_limits<double>::infinity();
}

// Squared magnitude of one frequency over a windowed segment.
double goertzel_power(std::span<const double> segment, double frequency, double rate) {
  const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * frequency / rate);
  double previous = 0;
  double before = 0;
  for (const double x : segment) {
    const double current = x + coefficient * previous - before;
    before = previous;
    previous = current;
  }
  return previous * previous + before * before - coefficient * previous * before;
}

}  // namespace

Level level_of(std::span<const float> samples) {
  double squares = 0;
  double peak = 0;
  for (const float sample : samples) {
    squares += double(sample) * double(sample);
    peak = std::max(peak, std::fabs(double(sample)));
  }
  const double rms = samples.empty() ? 0 : std::sqrt(squares / double(samples.size()));
  return {dbfs(rms), dbfs(peak)};
}

std::optional<double> dominant_frequency(std::span<const float> samples, double rate, int low,
                                         int high) {
  // One-second segments make the 1 Hz steps exactly one bin apart, so a tone
  // between two steps still shows in both (the Hann main lobe spans two bins).
  const std::size_t length = std::min(samples.size(), std::size_t(rate));
  if (length < std::size_t(rate / 10) || high < low) return std::nullopt;
  // A handful of segments is plenty for a steady sound and bounds the work.
  constexpr std::size_t kMaxSegments = 4;
  const std::size_t segments = std::min(samples.size() / length, kMaxSegments);

  std::vector<double> window(length);
  for (std::size_t i = 0; i < length; ++i) {
    window[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / double(length));
  }
  std::vector<double> power(std::size_t(high - low + 1), 0.0);
  std::vector<double> segment(length);
  // The segments are taken from the end: the start of a capture is the most
  // likely to hold silence before the sound began.
  for (std::size_t s = 0; s < segments; ++s) {
    const std::size_t start = samples.size() - (s + 1) * length;
    for (std::size_t i = 0; i < length; ++i) segment[i] = double(samples[start + i]) * window[i];
    for (int f = low; f <= high; ++f)
      power[std::size_t(f - low)] += goertzel_power(segment, f, rate);
  }
  const auto peak = std::max_element(power.begin(), power.end());
  if (*peak <= 0) return std::nullopt;
  const std::size_t at = std::size_t(peak - power.begin());
  double offset = 0;
  if (at > 0 && at + 1 < power.size()) {
    const double left = std::log(power[at - 1] + 1e-300);
    const double middle = std::log(power[at] + 1e-300);
    const double right = std::log(power[at + 1] + 1e-300);
    const double curvature = left - 2 * middle + right;
    if (curvature < 0) offset = 0.5 * (left - right) / curvature;
  }
  return double(low) + double(at) + offset;
}

}  // namespace parent
