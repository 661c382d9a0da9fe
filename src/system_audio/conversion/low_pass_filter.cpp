#include "system_audio/conversion/low_pass_filter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "system_audio/conversion/low_pass_design.h"
#include "system_audio/frame/messages.h"

// Why a sparse linear-phase FIR: the resampler reads two neighbouring source
// samples per output sample (about two in three at 44.1 kHz), and at a whole
// step only the first counts (one in three at 48 kHz, one in six at 96 kHz),
// so only those are filtered, while a recursive filter (a cascade of biquads)
// would have to run on every sample, with a delay that varies across the
// band. The FIR's delay is the same at every frequency and about half a
// millisecond; its symmetry halves the multiplications; its sums run in one
// fixed order (eight lanes, then the lanes pairwise), so a sample comes out
// the same on every machine, whether filtered alone or beside its neighbour,
// and for every block split.
namespace system_audio {
namespace {

// Room for an ordinary block, so appending does not reallocate.
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

// Four sums of lanes at once, each as ((0 + 4) + (1 + 5)) + ((2 + 6) + (3 + 7)),
// with whole-vector operations.
inline Quad totals(Lanes a, Lanes b, Lanes c, Lanes d) {
  const auto fold = [](Lanes x) -> Quad {
    return __builtin_shufflevector(x, x, 0, 1, 2, 3) + __builtin_shufflevector(x, x, 4, 5, 6, 7);
  };
  const Quad qa = fold(a), qb = fold(b), qc = fold(c), qd = fold(d);
  const Quad ab =
      __builtin_shufflevector(qa, qb, 0, 2, 4, 6) + __builtin_shufflevector(qa, qb, 1, 3, 5, 7);
  const Quad cd =
      __builtin_shufflevector(qc, qd, 0, 2, 4, 6) + __builtin_shufflevector(qc, qd, 1, 3, 5, 7);
  return __builtin_shufflevector(ab, cd, 0, 2, 4, 6) + __builtin_shufflevector(ab, cd, 1, 3, 5, 7);
}

// Outputs for the N windows that start at window, window + stride ...: each tap
// multiplies the sum of its two mirrored samples (the centre one twice, against
// half the tap); `mirror` is where the first window's newest sample lies in the
// reversed history. The windows share the loads of the taps.
template <std::size_t N>
inline Quad filter_at(const float* half, std::size_t pairs, const float* window,
                      const float* mirror, std::ptrdiff_t stride) {
  Lanes sums[N] = {};
  for (std::size_t k = 0; k < pairs; k += 8) {
    const Lanes taps = load(half + k);
    for (std::size_t n = 0; n < N; ++n) {
      const std::ptrdiff_t shift = std::ptrdiff_t(n) * stride;
      sums[n] += taps * (load(window + shift + k) + load(mirror - shift + k));
    }
  }
  return totals(sums[0], sums[N > 1 ? 1 : 0], sums[N > 2 ? 2 : 0], sums[N > 3 ? 3 : 0]);
}

// Reverses the history, then walks the positions exactly as the resampler
// will (same start, same f64 additions, same end test) and filters the samples
// each one reads. The resampler's pending samples come first; they were
// filtered before.
[[gnu::always_inline]] inline void filter_reads(LowPassFilter& filter,
                                                const LinearResampler& resampler,
                                                std::span<float> block) {
  const std::size_t pairs = filter.half.size();
  const std::size_t length = filter.history.size();
  filter.reversed.resize(length);
  const float* half = filter.half.data();
  const float* samples = filter.history.data();
  float* reversed = filter.reversed.data();
  for (std::size_t i = 0; i < length; ++i) reversed[i] = samples[length - 1 - i];
  // Output j of the block has the window history[j ...] and its newest sample
  // at reversed[length - 2 * pairs + 1 - j].
  const float* mirror_end = reversed + (length + 1 - 2 * pairs);
  // N outputs from block[j] on, `stride` apart.
  const auto filter_from = [&]<std::size_t N>(std::size_t j, std::size_t stride) {
    const Quad out = filter_at<N>(half, pairs, samples + j, mirror_end - j, std::ptrdiff_t(stride));
    for (std::size_t n = 0; n < N; ++n) block[j + n * stride] = out[n];
  };

  const std::size_t before = resampler.pending.size();
  const double end = static_cast<double>(before + block.size());
  const double step = resampler.source_rate / TARGET_SAMPLE_RATE;
  double p = resampler.position;
  if (step == std::floor(step) && p == std::floor(p)) {
    // A whole step reads every output at t = 0, where a + (b - a) * 0 is a
    // whatever finite b holds (a, a sum from +0, is never -0): the right
    // samples need no filtering while no sample can make a sum infinite. The
    // positions are then whole and exact: first + k * stride.
    std::uint32_t outside = 0;
    for (std::size_t i = 0; i < length; ++i) outside += !(std::fabs(reversed[i]) <= filter.bound);
    if (outside == 0) {
      const auto stride = static_cast<std::size_t>(step);
      const auto start = static_cast<std::size_t>(p);
      const std::size_t last = before + block.size() - 1;  // the newest sample
      const std::size_t reads = start < last ? (last - start + stride - 1) / stride : 0;
      const std::size_t skipped = start < before ? (before - start + stride - 1) / stride : 0;
      for (std::size_t k = skipped; k < reads;) {
        const std::size_t j = start + k * stride - before;
        if (k + 4 <= reads) {
          filter_from.template operator()<4>(j, stride);
          k += 4;
        } else {
          filter_from.template operator()<1>(j, stride);
          k += 1;
        }
      }
      if (start + reads * stride == last) filter_from.template operator()<1>(block.size() - 1, 1);
      return;
    }
  }
  std::size_t next = 0;  // block samples below this are done or never read
  for (; p + 1.0 < end; p += step) {
    // Stream samples i and i + 1; those below `before` are the pending ones.
    const auto i = static_cast<std::size_t>(static_cast<std::int64_t>(p));
    if (i + 1 < before) continue;
    const std::size_t b = i + 1 - before;
    if (b < next) continue;  // shared with the previous position (steps below 2)
    if (i >= before && b - 1 >= next) {
      filter_from.template operator()<2>(b - 1, 1);
    } else {
      filter_from.template operator()<1>(b, 1);
    }
    next = b + 1;
  }
  // The newest sample stays pending; it is read next time when the position
  // stops inside it.
  if (p < end && next < block.size()) filter_from.template operator()<1>(block.size() - 1, 1);
}

// On x86-64 the same code once more for AVX2 (twice the lanes a step), chosen
// at run time; the arithmetic and its order are the same, so are the results.
// A plain check rather than an ifunc: ifunc resolvers run before the
// sanitizers' runtimes are ready.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
[[gnu::target("avx2")]] void filter_reads_avx2(LowPassFilter& filter,
                                               const LinearResampler& resampler,
                                               std::span<float> block) {
  filter_reads(filter, resampler, block);
}

void filter_reads_here(LowPassFilter& filter, const LinearResampler& resampler,
                       std::span<float> block) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) {
    filter_reads_avx2(filter, resampler, block);
  } else {
    filter_reads(filter, resampler, block);
  }
}
#else
void filter_reads_here(LowPassFilter& filter, const LinearResampler& resampler,
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
  // Each sum adds taps times pairs of samples: with every sample within this,
  // no partial sum comes near the largest float.
  float taps = 0.0f;
  for (const float tap : half) taps += std::fabs(tap);
  bound = std::numeric_limits<float>::max() / 8.0f / std::max(taps, 1.0f);
}

void low_pass(LowPassFilter& filter, const LinearResampler& resampler, std::span<float> block) {
  if (filter.half.empty() || block.empty()) return;
  const std::size_t kept = 2 * (filter.half.size() - 1);
  auto& history = filter.history;
  history.insert(history.end(), block.begin(), block.end());
  filter_reads_here(filter, resampler, block);
  history.erase(history.begin(), history.end() - static_cast<std::ptrdiff_t>(kept));
}

}  // namespace system_audio
