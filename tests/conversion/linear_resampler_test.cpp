#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "float_bits.h"
#include "system_audio/conversion/linear_resampler.h"

namespace system_audio {
namespace {

using Samples = std::vector<float>;

TEST(LinearResamplerRate, UnusableRatesBecome16kHz) {
  for (double rate : {8000.0, 0.0, -1.0, std::numeric_limits<double>::infinity(),
                      -std::numeric_limits<double>::infinity(),
                      std::numeric_limits<double>::quiet_NaN(), 15999.999999999998}) {
    const LinearResampler resampler(rate);
    EXPECT_EQ(resampler.source_rate, 16000.0) << rate;
  }
}

TEST(LinearResamplerRate, UsableRatesAreKeptAsGiven) {
  for (double rate : {16000.0, 16000.000000000004, 44100.0}) {
    const LinearResampler resampler(rate);
    EXPECT_EQ(resampler.source_rate, rate);
    EXPECT_TRUE(resampler.pending.empty());
    EXPECT_EQ(resampler.position, 0.0);
  }
}

TEST(LinearResamplerBlocks, At16kHzItPassesSamplesThroughOneLate) {
  LinearResampler resampler(16000.0);
  EXPECT_SAME_BITS(resampler.process(Samples{1, 2, 3}), (Samples{1, 2}));
  EXPECT_SAME_BITS(resampler.pending, Samples{3});
  EXPECT_EQ(resampler.position, 0.0);
  EXPECT_SAME_BITS(resampler.process(Samples{4, 5}), (Samples{3, 4}));
  EXPECT_SAME_BITS(resampler.pending, Samples{5});
}

// t is 0 at 16 kHz, so a + (b - a) * 0 gives a back, bit for bit, except that
// -0.0 + +0.0 rounds to +0.0.
TEST(LinearResamplerBlocks, At16kHzFiniteSamplesSurviveToTheLastBit) {
  const Samples odd = {std::numeric_limits<float>::denorm_min(), -1e-30f, -0.0f, 7.5f};
  LinearResampler resampler(16000.0);
  EXPECT_SAME_BITS(resampler.process(odd), (Samples{odd[0], odd[1], 0.0f}));
}

TEST(LinearResamplerBlocks, At48kHzEveryThirdSampleIsKept) {
  LinearResampler resampler(48000.0);
  EXPECT_SAME_BITS(resampler.process(Samples{10, 11, 12, 13, 14, 15, 16}), (Samples{10, 13}));
  EXPECT_SAME_BITS(resampler.pending, Samples{16});
  EXPECT_EQ(resampler.position, 0.0);
  EXPECT_SAME_BITS(resampler.process(Samples{17, 18, 19}), Samples{16});
  EXPECT_SAME_BITS(resampler.pending, Samples{19});
  EXPECT_EQ(resampler.position, 0.0);
  EXPECT_SAME_BITS(resampler.process(Samples{20, 21, 22}), Samples{19});
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
}

TEST(LinearResamplerBlocks, EmptyInputChangesNothing) {
  LinearResampler resampler(44100.0);
  resampler.process(Samples{0, 1, 2, 3});
  const Samples pending = resampler.pending;
  const double position = resampler.position;
  EXPECT_TRUE(resampler.process({}).empty());
  EXPECT_SAME_BITS(resampler.pending, pending);
  EXPECT_EQ(resampler.position, position);
}

TEST(LinearResamplerBlocks, ASingleFirstSampleWaitsForItsNeighbour) {
  LinearResampler resampler(48000.0);
  EXPECT_TRUE(resampler.process(Samples{0.5f}).empty());
  EXPECT_SAME_BITS(resampler.pending, Samples{0.5f});
  EXPECT_EQ(resampler.position, 0.0);
  EXPECT_SAME_BITS(resampler.process(Samples{1.0f}), Samples{0.5f});
}

// 512-frame callbacks at 48 kHz: 171, 170, 171 samples, 512 for every 1536 frames.
TEST(LinearResamplerBlocks, CallbackSizedBlocksAt48kHz) {
  LinearResampler resampler(48000.0);
  Samples stream(1536 * 4);
  for (std::size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<float>(i);
  std::size_t produced = 0;
  const std::size_t expected_sizes[] = {171, 170, 171, 171, 170, 171};
  for (std::size_t call = 0; call < 6; ++call) {
    const Samples out = resampler.process(std::span(stream).subspan(call * 512, 512));
    ASSERT_EQ(out.size(), expected_sizes[call]) << call;
    for (std::size_t k = 0; k < out.size(); ++k) {
      ASSERT_EQ(out[k], static_cast<float>(3 * (produced + k)));
    }
    produced += out.size();
  }
  EXPECT_EQ(produced, 1024u);
}

Samples random_stream(std::size_t length, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> level(-1.0f, 1.0f);
  Samples stream(length);
  for (auto& sample : stream) sample = level(random);
  return stream;
}

Samples in_random_blocks(double rate, const Samples& stream, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::size_t> block(0, 1500);
  LinearResampler resampler(rate);
  Samples out;
  for (std::size_t at = 0; at < stream.size();) {
    std::size_t size = random() % 8 == 0 ? random() % 3 : block(random);  // 0, 1 and 2 too
    size = std::min(size, stream.size() - at);
    const Samples part = resampler.process(std::span(stream).subspan(at, size));
    out.insert(out.end(), part.begin(), part.end());
    at += size;
  }
  EXPECT_EQ(resampler.pending.size(), 1u);
  return out;
}

// Where the step is exact in binary, the f64 position steps are exact too, so
// the cut points cannot show in the output at all.
TEST(LinearResamplerStream, BlockBoundariesDoNotShowInTheOutput) {
  const Samples stream = random_stream(300000, 7);
  for (double rate : {16000.0, 24000.0, 32000.0, 48000.0, 96000.0, 192000.0, 20000.0}) {
    LinearResampler whole(rate);
    const Samples expected = whole.process(stream);
    for (unsigned seed : {1u, 2u, 3u}) {
      const Samples cut = in_random_blocks(rate, stream, seed);
      ASSERT_EQ(bits_of(cut), bits_of(expected)) << rate << " seed " << seed;
    }
  }
}

// Where it is not (44.1 kHz: 2.75625 has no exact binary form), the position
// of a long single call is rounded at a coarser scale than in short blocks; the
// samples may then differ in the last bits but never in count or place.
TEST(LinearResamplerStream, InexactStepsStayOnTheSameSourcePositions) {
  const Samples stream = random_stream(300000, 11);
  for (double rate : {44100.0, 22050.0, 88200.0, 17000.3}) {
    LinearResampler whole(rate);
    const Samples expected = whole.process(stream);
    const Samples cut = in_random_blocks(rate, stream, 5);
    ASSERT_EQ(cut.size(), expected.size()) << rate;
    for (std::size_t k = 0; k < cut.size(); ++k) {
      ASSERT_NEAR(cut[k], expected[k], 1e-5) << rate << " sample " << k;
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

// A finite but absurd rate puts the position far beyond any index; the
// resampler must still keep only the newest sample and never read past it.
TEST(LinearResamplerMemory, AbsurdRateKeepsOnlyTheNewestSample) {
  LinearResampler resampler(1e300);
  EXPECT_SAME_BITS(resampler.process(Samples{1, 2, 3}), Samples{1});
  EXPECT_SAME_BITS(resampler.pending, Samples{3});
  EXPECT_TRUE(resampler.process(Samples{4, 5}).empty());
  EXPECT_SAME_BITS(resampler.pending, Samples{5});
}

}  // namespace
}  // namespace system_audio
