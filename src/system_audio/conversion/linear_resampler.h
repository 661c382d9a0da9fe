#pragma once

#include <cstdint>
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

  std::vector<float> process(std::span<const float> input);
};

// Where the outputs lie. Positions are counted in units of the step's last bit;
// each is a whole number of them, so stepping adds integers and never rounds:
// output k sits at exactly k * step from the first sample, wherever the stream
// was cut, and blocks give bit for bit what one call on the whole stream gives.
struct ResamplerGrid {
  std::int64_t one;  // units in a sample, at most 2^52
  double unit;       // 1 / one
  std::uint64_t whole_step;
  std::int64_t fraction_step;  // below one
};

// A read position: the index of the sample an output starts from (in pending,
// followed by the block being processed) and the units past it.
struct ResamplerCursor {
  std::uint64_t index;
  std::int64_t fraction;  // below grid.one
};

ResamplerGrid resampler_grid(const LinearResampler& resampler);

// The position at which the resampler's next call starts reading.
ResamplerCursor first_read(const LinearResampler& resampler, const ResamplerGrid& grid);

inline void advance(ResamplerCursor& cursor, const ResamplerGrid& grid) {
  cursor.fraction += grid.fraction_step;
  const bool carry = cursor.fraction >= grid.one;  // selected, not branched on
  cursor.fraction -= carry ? grid.one : 0;
  cursor.index += grid.whole_step + carry;
}

}  // namespace system_audio
