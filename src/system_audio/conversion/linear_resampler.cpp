#include "system_audio/conversion/linear_resampler.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "system_audio/frame/messages.h"

namespace system_audio {
namespace {

// Room for an ordinary block, so appending does not reallocate.
constexpr std::size_t kPendingCapacity = 4096;

// Whole steps up to this keep every position far below 2^53, where f64
// multiples are exactly the sums the position chain would make.
constexpr double kMostWholeStep = 1 << 20;

// a + (b - a) * t between the two samples around position p, t being p's
// fraction computed in f64 and rounded to f32. Three roundings: the build
// forbids contracting them into a fused multiply-add. p < 2^63 here, so the
// signed conversions (cheaper than the unsigned ones) are exact.
inline float interpolate(const float* samples, double p) {
  const auto i = static_cast<std::int64_t>(p);
  const float a = samples[i];
  const float b = samples[i + 1];
  const auto t = static_cast<float>(p - static_cast<double>(i));
  const float difference = b - a;
  const float scaled = difference * t;
  return a + scaled;
}

struct Run {
  std::size_t made;
  double position;
};

// The interpolation loop on its own, so that the position and the step live in
// registers (kept out of line, or the compiler spills them around the calls of
// process): the p += step chain is what bounds it. Stops after `room` samples.
[[gnu::noinline]] Run interpolate_run(const float* samples, double length, double p, double step,
                                      float* out, std::size_t room) {
  // A whole step (16000, 32000, 48000 Hz ...) from a whole position: t is 0 at
  // every output and the positions stay whole, exact in f64, so the same three
  // operations need no position chain and run side by side. Non-finite samples
  // come out as the loop below makes them.
  if (step == std::floor(step) && step <= kMostWholeStep && p == std::floor(p) &&
      p + 1.0 < length) {
    const auto stride = static_cast<std::size_t>(step);
    const auto left = static_cast<std::size_t>(length - 1.0 - p);
    const std::size_t count = std::min(room, (left + stride - 1) / stride);
    const float* from = samples + static_cast<std::int64_t>(p);
    for (std::size_t k = 0; k < count; ++k) {
      const float a = from[k * stride];
      const float difference = from[k * stride + 1] - a;
      const float scaled = difference * 0.0f;
      out[k] = a + scaled;
    }
    return {count, p + static_cast<double>(count) * step};
  }
  std::size_t made = 0;
  // p + 1 < length keeps both floor(p) and floor(p) + 1 inside pending.
  for (; made < room && p + 1.0 < length; ++made) {
    out[made] = interpolate(samples, p);
    p += step;
  }
  return {made, p};
}

}  // namespace

double resampler_rate(double source_rate) {
  return std::isfinite(source_rate) && source_rate >= TARGET_SAMPLE_RATE ? source_rate
                                                                         : TARGET_SAMPLE_RATE;
}

LinearResampler::LinearResampler(double rate) : source_rate(resampler_rate(rate)), position(0.0) {
  pending.reserve(kPendingCapacity);
}

void LinearResampler::process(std::span<const float> input, std::vector<float>& out) {
  if (input.empty()) return;

  pending.insert(pending.end(), input.begin(), input.end());
  const std::size_t length = pending.size();
  const double step = source_rate / TARGET_SAMPLE_RATE;
  const double count = static_cast<double>(input.size());
  const auto room = static_cast<std::size_t>(std::min(std::ceil(count / step), count));

  const float* samples = pending.data();
  const double last = static_cast<double>(length);
  const std::size_t start = out.size();
  out.resize(start + room);
  auto [made, p] = interpolate_run(samples, last, position, step, out.data() + start, room);
  out.resize(start + made);
  // The rounding of the repeated additions can leave room for one sample more.
  for (; p + 1.0 < last; p += step) out.push_back(interpolate(samples, p));
  position = p;

  // Keep the newest sample at least. A position beyond the end (only for
  // absurdly high rates) must not be converted to an index.
  const std::size_t keep_from =
      p >= static_cast<double>(length - 1) ? length - 1 : static_cast<std::size_t>(p);
  if (keep_from > 0) {
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(keep_from));
    position = p - static_cast<double>(keep_from);
  }
}

}  // namespace system_audio
