#include "system_audio/conversion/linear_resampler.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "system_audio/frame/messages.h"

namespace system_audio {
namespace {

// Room for an ordinary callback's block, so appending does not reallocate.
constexpr std::size_t kPendingCapacity = 4096;

constexpr double kFar = 9007199254740992.0;  // 2^53 samples

// a + (b - a) * t between a sample and its successor, t being the fraction
// rounded to f32. Three roundings: the build forbids contracting them into a
// fused multiply-add.
inline float interpolate(const float* at, double fraction) {
  const float a = at[0];
  const float b = at[1];
  const auto t = static_cast<float>(fraction);
  const float difference = b - a;
  const float scaled = difference * t;
  return a + scaled;
}

struct Run {
  std::size_t made;
  ResamplerCursor cursor;
};

// The interpolation loop on its own, so that the cursor and the grid live in
// registers (kept out of line, or the compiler spills them around the calls of
// process). Stops after `room` samples, or at one that has no successor yet.
[[gnu::noinline]] Run interpolate_run(const float* samples, std::uint64_t last,
                                      ResamplerCursor cursor, const ResamplerGrid grid, float* out,
                                      std::size_t room) {
  std::size_t made = 0;
  if (grid.fraction_step == 0) {  // a whole step (48 kHz): the fraction never moves
    const double fraction = static_cast<double>(cursor.fraction) * grid.unit;
    for (; made < room && cursor.index < last; ++made, cursor.index += grid.whole_step) {
      out[made] = interpolate(samples + cursor.index, fraction);
    }
    return {made, cursor};
  }
  for (; made < room && cursor.index < last; ++made) {
    const double fraction = static_cast<double>(cursor.fraction) * grid.unit;  // exact
    out[made] = interpolate(samples + cursor.index, fraction);
    advance(cursor, grid);
  }
  return {made, cursor};
}

}  // namespace

double resampler_rate(double source_rate) {
  return std::isfinite(source_rate) && source_rate >= TARGET_SAMPLE_RATE ? source_rate
                                                                         : TARGET_SAMPLE_RATE;
}

ResamplerGrid resampler_grid(const LinearResampler& resampler) {
  const double step = resampler.source_rate / TARGET_SAMPLE_RATE;
  int exponent = 0;
  std::frexp(step, &exponent);  // step < 2^exponent, with 53 significant bits
  const int bits = std::clamp(53 - exponent, 0, 52);
  const double whole = std::floor(step);
  ResamplerGrid grid{std::int64_t{1} << bits, std::ldexp(1.0, -bits), 0, 0};
  // Wholes beyond 2^53 samples (absurd rates) stop there: never read again either way.
  grid.whole_step = static_cast<std::uint64_t>(std::min(whole, kFar));
  grid.fraction_step = static_cast<std::int64_t>((step - whole) * static_cast<double>(grid.one));
  return grid;
}

ResamplerCursor first_read(const LinearResampler& resampler, const ResamplerGrid& grid) {
  const double whole = std::min(std::floor(resampler.position), kFar);
  const double fraction = (resampler.position - whole) * static_cast<double>(grid.one);
  return {static_cast<std::uint64_t>(whole), static_cast<std::int64_t>(fraction)};
}

LinearResampler::LinearResampler(double rate) : source_rate(resampler_rate(rate)), position(0.0) {
  pending.reserve(kPendingCapacity);
}

std::vector<float> LinearResampler::process(std::span<const float> input) {
  std::vector<float> out;
  if (input.empty()) return out;

  pending.insert(pending.end(), input.begin(), input.end());
  const std::size_t length = pending.size();
  const double step = source_rate / TARGET_SAMPLE_RATE;
  const double count = static_cast<double>(input.size());
  const auto reserved = static_cast<std::size_t>(std::min(std::ceil(count / step), count));
  out.reserve(reserved);

  const float* samples = pending.data();
  const std::uint64_t last = length - 1;  // the newest sample
  const ResamplerGrid grid = resampler_grid(*this);
  ResamplerCursor cursor = first_read(*this, grid);
  std::size_t made = 0;
  out.resize(reserved);
  while (true) {
    const Run run =
        interpolate_run(samples, last, cursor, grid, out.data() + made, out.size() - made);
    made += run.made;
    cursor = run.cursor;
    if (cursor.index >= last) break;
    out.resize(out.size() + 1);  // the reservation's rounding fell one short
  }
  out.resize(made);

  // Everything before the newest sample is passed; the position counts from it.
  position =
      static_cast<double>(cursor.index - last) + static_cast<double>(cursor.fraction) * grid.unit;
  if (last > 0) pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(last));
  return out;
}

}  // namespace system_audio
