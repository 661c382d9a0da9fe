#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "float_bits.h"
#include "system_audio/conversion/linear_resampler.h"
#include "system_audio/conversion/low_pass_filter.h"

namespace system_audio {
namespace {

using Samples = std::vector<float>;

TEST(LinearResamplerRate, UnusableRatesBecome16kHzOthersAreKept) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  for (double rate : {8000.0, 0.0, -1.0, kInf, -kInf, std::numeric_limits<double>::quiet_NaN(),
                      15999.999999999998, 16000.0, 16000.000000000004, 44100.0}) {
    const LinearResampler resampler(rate);
    EXPECT_EQ(resampler.source_rate, rate >= 16000.0 && rate < kInf ? rate : 16000.0) << rate;
    EXPECT_TRUE(resampler.pending.empty());
    EXPECT_EQ(resampler.position, 0.0);
  }
}

struct BlockCase {
  double rate;
  std::vector<std::pair<Samples, Samples>> calls;  // input block, expected output
  double last_position = 0.0;                      // after the last call, 0 before; -1: unchecked
};

// t is 0 at 16 kHz, so a + (b - a) * 0 gives a back, bit for bit, except that
// -0.0 + +0.0 rounds to +0.0. A finite but absurd rate puts the position far
// beyond any index: only the newest sample may be kept and nothing read past it.
const float kTiny = std::numeric_limits<float>::denorm_min();
const BlockCase kBlockCases[] = {
    {16000.0, {{{1, 2, 3}, {1, 2}}, {{4, 5}, {3, 4}}}},
    {16000.0, {{{kTiny, -1e-30f, -0.0f, 7.5f}, {kTiny, -1e-30f, 0.0f}}}},
    {48000.0,
     {{{10, 11, 12, 13, 14, 15, 16}, {10, 13}}, {{17, 18, 19}, {16}}, {{20, 21, 22}, {19}}}},
    {48000.0, {{{0.5f}, {}}, {{1.0f}, {0.5f}}}, 2.0},  // a first sample waits for its neighbour
    {1e300, {{{1, 2, 3}, {1}}, {{4, 5}, {}}}, -1.0},
};

TEST(LinearResamplerBlocks, EachBlockGivesItsSamplesAndKeepsOnlyTheNewest) {
  for (const auto& c : kBlockCases) {
    LinearResampler resampler(c.rate);
    for (const auto& [in, out] : c.calls) {
      EXPECT_SAME_BITS(resampler.process(in), out) << c.rate;
      EXPECT_SAME_BITS(resampler.pending, Samples{in.back()}) << c.rate;
      const double position = &in == &c.calls.back().first ? c.last_position : 0.0;
      if (c.last_position >= 0) {
        EXPECT_EQ(resampler.position, position) << c.rate;
      }
    }
  }
}

TEST(LinearResamplerBlocks, At44_1kHzThePhaseRunsOnAcrossCalls) {
  LinearResampler resampler(44100.0);
  const Samples first = resampler.process(Samples{0, 1, 2, 3});
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0], 0.0f);
  EXPECT_NEAR(first[1], 2.75625, 1e-6);
  EXPECT_SAME_BITS(resampler.pending, Samples{3});
  EXPECT_NEAR(resampler.position, 2.5125, 1e-12);

  const Samples second = resampler.process(Samples{4, 5, 6});
  ASSERT_EQ(second.size(), 1u);
  EXPECT_NEAR(second[0], 5.5125, 1e-6);
  EXPECT_SAME_BITS(resampler.pending, Samples{6});
  EXPECT_NEAR(resampler.position, 2.26875, 1e-12);

  // Empty input changes nothing.
  const Samples pending = resampler.pending;
  const double position = resampler.position;
  EXPECT_TRUE(resampler.process({}).empty());
  EXPECT_SAME_BITS(resampler.pending, pending);
  EXPECT_EQ(resampler.position, position);
}

Samples random_stream(std::size_t length, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> level(-1.0f, 1.0f);
  Samples stream(length);
  for (auto& sample : stream) sample = level(random);
  return stream;
}

// Through the low pass first, as the capture path does: its state and the
// samples it filters must follow the blocks as the resampler's do.
Samples in_random_blocks(double rate, const Samples& stream, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::size_t> block(0, 1500);
  LowPassFilter filter(rate);
  LinearResampler resampler(rate);
  Samples out;
  for (std::size_t at = 0; at < stream.size();) {
    std::size_t size = random() % 8 == 0 ? random() % 3 : block(random);  // 0, 1 and 2 too
    size = std::min(size, stream.size() - at);
    Samples in(stream.begin() + at, stream.begin() + at + size);
    low_pass(filter, resampler, in);
    const Samples part = resampler.process(in);
    out.insert(out.end(), part.begin(), part.end());
    at += size;
  }
  EXPECT_EQ(resampler.pending.size(), 1u);
  return out;
}

// Positions are exact multiples of the step, so the cut points cannot show in
// the output at all, whether the step has an exact binary form (48 kHz) or not
// (44.1 kHz: 2.75625; just above 16 kHz: a step one bit above 1).
TEST(LinearResamplerStream, BlockBoundariesDoNotShowInTheOutput) {
  const Samples stream = random_stream(300000, 7);
  for (double rate : {16000.0, 24000.0, 32000.0, 48000.0, 96000.0, 192000.0, 20000.0, 44100.0,
                      22050.0, 88200.0, 17000.3, 16000.000000000004, 1e300}) {
    LowPassFilter filter(rate);
    LinearResampler whole(rate);
    Samples filtered = stream;
    low_pass(filter, whole, filtered);
    const Samples expected = whole.process(filtered);
    for (unsigned seed : {1u, 2u, 3u}) {
      ASSERT_EQ(bits_of(in_random_blocks(rate, stream, seed)), bits_of(expected)) << rate;
    }
  }
}

// Inputs 0, 0, a, b at 44.1 kHz: the second output sits at position 2.75625,
// between a and b, with t the f32 rounding of 0.75625 computed in f64.
TEST(LinearResamplerArithmetic, FractionIsRoundedFromTheDoublePosition) {
  const double step = 44100.0 / 16000.0;
  const float from_double = static_cast<float>(step - 2.0);
  const float from_float = static_cast<float>(step) - 2.0f;
  ASSERT_NE(from_double, from_float) << "this position cannot tell the two apart";

  LinearResampler resampler(44100.0);
  const Samples out = resampler.process(Samples{0, 0, 0, 1});
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1], from_double);
}

TEST(LinearResamplerArithmetic, InterpolationIsThreeSeparateRoundings) {
  const double step = 44100.0 / 16000.0;
  const float t = static_cast<float>(step - 2.0);
  std::mt19937 random(16);
  std::uniform_real_distribution<float> level(-1.0f, 1.0f);
  int compared = 0;
  for (int tries = 0; tries < 100000 && compared < 20; ++tries) {
    const float a = level(random);
    const float b = level(random);
    volatile float difference = b - a;
    volatile float scaled = difference * t;
    const float separate = a + scaled;
    const float fused = std::fma(b - a, t, a);
    if (separate == fused) continue;  // look for values where fusing would show
    ++compared;
    LinearResampler resampler(44100.0);
    const Samples out = resampler.process(Samples{0, 0, a, b});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(out[1]), std::bit_cast<std::uint32_t>(separate))
        << "a " << a << " b " << b;
  }
  EXPECT_EQ(compared, 20) << "too few values where a fused multiply-add differs";
}

TEST(LinearResamplerMemory, PendingHoldsOnlyTheNewestSampleBetweenCalls) {
  LinearResampler resampler(44100.0);
  const float* storage = resampler.pending.data();
  const Samples stream = random_stream(4096 * 20, 3);
  for (std::size_t at = 0; at < stream.size(); at += 512) {
    resampler.process(std::span(stream).subspan(at, 512));
    ASSERT_EQ(resampler.pending.size(), 1u);
    ASSERT_EQ(resampler.pending[0], stream[at + 511]);
    ASSERT_GE(resampler.position, 0.0);
    ASSERT_LT(resampler.position, 44100.0 / 16000.0);
  }
  // Appending ordinary blocks never needed a bigger array.
  EXPECT_EQ(resampler.pending.data(), storage);
}

}  // namespace
}  // namespace system_audio
