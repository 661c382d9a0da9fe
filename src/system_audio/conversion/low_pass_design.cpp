#include "system_audio/conversion/low_pass_design.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <utility>

#include "system_audio/frame/messages.h"

namespace system_audio {
namespace {

constexpr double kPassEdge = 6500.0;
constexpr double kStopEdge = 9000.0;
constexpr double kPassError = 0.08;   // ±0.7 dB
constexpr double kStopGain = 2.4e-4;  // -72.4 dB, against the -70 that is asked
constexpr std::size_t kLanes = 8;     // pairs of taps one step of the filter loop takes
constexpr std::size_t kMaxPairs = 256;
constexpr double kGridPerPair = 8.0;  // grid points per pair and per band's share of 0..pi
constexpr int kReweightings = 10;
constexpr double kMostBoost = 2.0;  // +6 dB: the most the droop is made up for

// Linear interpolation at fractional positions loses high tones: averaged over
// the positions, a tone at w comes out times cos(w / 2). With a whole step
// every output lies on a source sample and nothing is lost.
double wanted_gain(double step, double w) {
  return step == std::floor(step) ? 1.0 : std::min(kMostBoost, 1.0 / std::cos(w / 2.0));
}

struct Point {
  double w, wanted, weight;
  bool pass;
};

// Amplitude at w of the linear-phase filter with cosine coefficients a; the
// cosines by their recurrence.
double amplitude(const std::vector<double>& a, double w) {
  const double c1 = std::cos(w);
  double previous = c1, current = 1.0, sum = 0.0;
  for (double coefficient : a) {
    sum += coefficient * current;
    const double next = 2.0 * c1 * current - previous;
    previous = current;
    current = next;
  }
  return sum;
}

// Weighted least squares over the grid (the transition band is left free).
// The normal equations are Toeplitz-plus-Hankel in weighted sums of cosines,
// so forming them costs grid × taps and solving them taps³ / 3.
std::vector<double> least_squares(const std::vector<Point>& grid, std::size_t m) {
  std::vector<double> t(2 * m, 0.0);
  std::vector<double> rhs(m, 0.0);
  for (const auto& point : grid) {
    const double c1 = std::cos(point.w);
    double previous = c1, current = 1.0;
    for (std::size_t k = 0; k < 2 * m; ++k) {
      t[k] += point.weight * current;
      if (k < m) rhs[k] += point.weight * point.wanted * current;
      const double next = 2.0 * c1 * current - previous;
      previous = current;
      current = next;
    }
  }
  std::vector<double> q(m * m);
  for (std::size_t j = 0; j < m; ++j) {
    for (std::size_t k = 0; k < m; ++k) q[j * m + k] = 0.5 * (t[j > k ? j - k : k - j] + t[j + k]);
  }
  for (std::size_t col = 0; col < m; ++col) {  // elimination with partial pivoting
    std::size_t pivot = col;
    for (std::size_t r = col + 1; r < m; ++r) {
      if (std::fabs(q[r * m + col]) > std::fabs(q[pivot * m + col])) pivot = r;
    }
    for (std::size_t k = 0; k < m && pivot != col; ++k) std::swap(q[col * m + k], q[pivot * m + k]);
    std::swap(rhs[col], rhs[pivot]);
    for (std::size_t r = col + 1; r < m; ++r) {
      const double factor = q[r * m + col] / q[col * m + col];
      for (std::size_t k = col; k < m; ++k) q[r * m + k] -= factor * q[col * m + k];
      rhs[r] -= factor * rhs[col];
    }
  }
  std::vector<double> a(m);
  for (std::size_t r = m; r-- > 0;) {
    double sum = rhs[r];
    for (std::size_t k = r + 1; k < m; ++k) sum -= q[r * m + k] * a[k];
    a[r] = sum / q[r * m + r];
  }
  return a;
}

// Near-minimax by Lawson's reweighting: each round weighs every grid point by
// its error relative to its band's target, which flattens the error peaks that
// plain least squares leaves at the band edges. Returns whether the targets hold.
bool design(std::vector<Point>& grid, std::size_t m, std::vector<double>& a) {
  for (int round = 0;; ++round) {
    a = least_squares(grid, m);
    double worst = 0.0, sum = 0.0;
    for (auto& point : grid) {
      const double error = std::fabs(amplitude(a, point.w) - point.wanted) /
                           (point.pass ? kPassError * point.wanted : kStopGain);
      worst = std::max(worst, error);
      point.weight *= error;
      sum += point.weight;
    }
    if (!(worst <= 1.0) && round < kReweightings && sum > 0.0 && std::isfinite(sum)) {
      for (auto& point : grid) point.weight /= sum;
      continue;
    }
    return worst <= 1.0;
  }
}

std::vector<Point> grid_for(double pass, double stop, std::size_t pairs, double step) {
  std::vector<Point> grid;
  const double bands[2][2] = {{0.0, pass}, {stop, std::numbers::pi}};
  for (const auto& [from, to] : bands) {
    const bool in_pass = from == 0.0;
    const auto points = static_cast<int>(std::ceil((to - from) / std::numbers::pi * kGridPerPair *
                                                   static_cast<double>(pairs))) +
                        2;
    for (int g = 0; g <= points; ++g) {
      const double w = from + (to - from) * g / points;
      grid.push_back({w, in_pass ? wanted_gain(step, w) : 0.0, in_pass ? 1.0 : 100.0, in_pass});
    }
  }
  return grid;
}

}  // namespace

std::vector<float> design_low_pass(double source_rate) {
  if (!std::isfinite(source_rate) || source_rate <= TARGET_SAMPLE_RATE) return {};
  const double to_w = 2.0 * std::numbers::pi / source_rate;
  // Below 18 kHz the stop band narrows to the source's Nyquist frequency,
  // which is still above the output's.
  const double pass = kPassEdge * to_w;
  const double stop = std::min(kStopEdge * to_w, std::numbers::pi);
  const double step = source_rate / TARGET_SAMPLE_RATE;

  // The shortest filter, in steps of the loop's width, that meets the targets.
  const double estimate = 9.0 / (stop - pass);
  // Sources beyond about 450 kHz would need more taps than is sensible: they
  // pass unfiltered.
  if (!(estimate <= static_cast<double>(kMaxPairs))) return {};
  // Outer pairs one short of a multiple of the lanes: the centre tap fills it.
  std::size_t pairs = std::max(kLanes, static_cast<std::size_t>(estimate) / kLanes * kLanes) - 1;
  std::vector<double> a;
  for (;; pairs += kLanes) {  // the estimate is a little short
    auto grid = grid_for(pass, stop, pairs, step);
    if (design(grid, pairs + 1, a) || pairs + kLanes > kMaxPairs) break;
  }

  std::vector<float> half(pairs + 1);
  for (std::size_t k = 1; k <= pairs; ++k) half[pairs - k] = static_cast<float>(a[k] / 2.0);
  half[pairs] = static_cast<float>(a[0] / 2.0);  // summed with itself, as its own mirror
  // A rate this design cannot serve passes unfiltered rather than as noise.
  for (float tap : half) {
    if (!std::isfinite(tap)) return {};
  }
  return half;
}

double low_pass_gain(const std::vector<float>& half, double source_rate, double hz) {
  if (half.empty()) return 1.0;
  const std::size_t pairs = half.size() - 1;
  std::vector<double> a(pairs + 1);
  for (std::size_t k = 0; k <= pairs; ++k) a[k] = 2.0 * half[pairs - k];
  return amplitude(a, 2.0 * std::numbers::pi * hz / source_rate);
}

}  // namespace system_audio
