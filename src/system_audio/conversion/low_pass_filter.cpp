#include "system_audio/conversion/low_pass_filter.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "system_audio/conversion/low_pass_design.h"
#include "system_audio/frame/messages.h"

// Why a sparse linear-phase FIR: the resampler reads two neighbouring source
// samples per output sample (about two in three at 48 kHz, one in three at
// 96 kHz), so only those are filtered, while a recursive filter (a cascade of
// biquads) would have to run on every sample, with a delay that varies across
// the band. The FIR's delay is the same at every frequency and about half a
// millisecond; its symmetry halves the multiplications; its sums run in one
// fixed order (eight lanes, then the lanes pairwise), so a sample comes out
// the same on every machine, whether filtered alone or beside its neighbour,
// and for every block split.
namespace system_audio {
namespace {

// Room for an ordinary callback's block, so appending does not reallocate.
constexpr std::size_t kBlockCapacity = 4096;

// Eight lanes: one AVX register, or two SSE or NEON ones. The lanes are summed
// in a fixed order whatever the machine, so every build gives the same bits.
typedef float Lanes __attribute__((vector_size(32)));
// The helpers below are inlined into one function; no vector crosses a call, so
// the calling convention for 32-byte vectors without AVX never applies.
#if defined(__clang__)
#if __has_warning("-Wpsabi")
#pragma clang diagnostic ignored "-Wpsabi"
#endif
#elif defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

inline Lanes load(const float* from) {
  Lanes lanes;
  std::memcpy(&lanes, from, sizeof lanes);
  return lanes;
}

typedef float Quad __attribute__((vector_size(16)));

// Lanes are summed as ((0 + 4) + (1 + 5)) + ((2 + 6) + (3 + 7)).
inline float total(Lanes lanes) {
  return ((lanes[0] + lanes[4]) + (lanes[1] + lanes[5])) +
         ((lanes[2] + lanes[6]) + (lanes[3] + lanes[7]));
}

// The same order for two sums at once, with whole-vector operations.
inline void totals(Lanes first, Lanes second, float& first_total, float& second_total) {
  const Quad a = __builtin_shufflevector(first, first, 0, 1, 2, 3) +
                 __builtin_shufflevector(first, first, 4, 5, 6, 7);
  const Quad b = __builtin_shufflevector(second, second, 0, 1, 2, 3) +
                 __builtin_shufflevector(second, second, 4, 5, 6, 7);
  const Quad halves =
      __builtin_shufflevector(a, b, 0, 2, 4, 6) + __builtin_shufflevector(a, b, 1, 3, 5, 7);
  const Quad sums = halves + __builtin_shufflevector(halves, halves, 1, 0, 3, 2);
  first_total = sums[0];
  second_total = sums[2];
}

// Output for the window that starts at `window`: each tap multiplies the sum
// of its two mirrored samples (the centre one twice, against half the tap);
// `mirror` is where the window's newest sample lies in the reversed history.
inline float filter_at(const float* half, std::size_t pairs, const float* window,
                       const float* mirror) {
  Lanes sum{};
  for (std::size_t k = 0; k < pairs; k += 8) {
    sum += load(half + k) * (load(window + k) + load(mirror + k));
  }
  return total(sum);
}

// The same for two neighbouring outputs, sharing the loads of the taps.
inline void filter_pair_at(const float* half, std::size_t pairs, const float* window,
                           const float* mirror, float* out) {
  Lanes first{}, second{};
  for (std::size_t k = 0; k < pairs; k += 8) {
    const Lanes taps = load(half + k);
    first += taps * (load(window + k) + load(mirror + k));
    second += taps * (load(window + k + 1) + load(mirror + k - 1));
  }
  float first_total, second_total;
  totals(first, second, first_total, second_total);
  out[0] = first_total;
  out[1] = second_total;
}

// Walks the positions exactly as the resampler will (same start, same f64
// additions, same end test) and filters the samples each one reads. The
// resampler's pending samples come first; they were filtered before.
[[gnu::always_inline]] inline void filter_reads(const LowPassFilter& filter,
                                                const LinearResampler& resampler,
                                                std::span<float> block) {
  const std::size_t pairs = filter.half.size();
  const std::size_t length = filter.history.size();
  // Output j of the block has the window history[j ...] and its newest sample
  // at reversed[length - 2 * pairs + 1 - j].
  const float* half = filter.half.data();
  const float* samples = filter.history.data();
  const float* mirror_end = filter.reversed.data() + (length + 1 - 2 * pairs);
  const auto filter_one = [&](std::size_t j) {
    block[j] = filter_at(half, pairs, samples + j, mirror_end - j);
  };

  const std::size_t before = resampler.pending.size();
  const double end = static_cast<double>(before + block.size());
  const double step = resampler.source_rate / TARGET_SAMPLE_RATE;
  std::size_t next = 0;  // block samples below this are done or never read
  double p = resampler.position;
  for (; p + 1.0 < end; p += step) {
    // Stream samples i and i + 1; those below `before` are the pending ones.
    const auto i = static_cast<std::size_t>(static_cast<std::int64_t>(p));
    if (i + 1 < before) continue;
    const std::size_t b = i + 1 - before;
    if (b < next) continue;  // shared with the previous position (steps below 2)
    if (i >= before && b - 1 >= next) {
      filter_pair_at(half, pairs, samples + (b - 1), mirror_end - (b - 1), &block[b - 1]);
    } else {
      filter_one(b);
    }
    next = b + 1;
  }
  // The newest sample stays pending; it is read next time when the position
  // stops inside it.
  if (p < end && next < block.size()) filter_one(block.size() - 1);
}

// On x86-64 the same code once more for AVX2 (twice the lanes a step), chosen
// at run time; the arithmetic and its order are the same, so are the results.
// A plain check rather than an ifunc: ifunc resolvers run before the
// sanitizers' runtimes are ready.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
[[gnu::target("avx2")]] void filter_reads_avx2(const LowPassFilter& filter,
                                               const LinearResampler& resampler,
                                               std::span<float> block) {
  filter_reads(filter, resampler, block);
}

void filter_reads_here(const LowPassFilter& filter, const LinearResampler& resampler,
                       std::span<float> block) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) {
    filter_reads_avx2(filter, resampler, block);
  } else {
    filter_reads(filter, resampler, block);
  }
}
#else
void filter_reads_here(const LowPassFilter& filter, const LinearResampler& resampler,
                       std::span<float> block) {
  filter_reads(filter, resampler, block);
}
#endif

}  // namespace

LowPassFilter::LowPassFilter(double source_rate)
    : half(design_low_pass(resampler_rate(source_rate))) {
  if (half.empty()) return;
  const std::size_t kept = 2 * (half.size() - 1);
  history.reserve(kept + kBlockCapacity);
  history.assign(kept, 0.0f);  // silence before the first sample
  reversed.reserve(kept + kBlockCapacity);
}

void low_pass(LowPassFilter& filter, const LinearResampler& resampler, std::span<float> block) {
  if (filter.half.empty() || block.empty()) return;
  const std::size_t kept = 2 * (filter.half.size() - 1);
  auto& history = filter.history;
  history.insert(history.end(), block.begin(), block.end());
  const std::size_t length = history.size();
  filter.reversed.resize(length);
  for (std::size_t i = 0; i < length; ++i) filter.reversed[i] = history[length - 1 - i];
  filter_reads_here(filter, resampler, block);
  history.erase(history.begin(), history.end() - static_cast<std::ptrdiff_t>(kept));
}

}  // namespace system_audio
