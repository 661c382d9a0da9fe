#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>

#include "conversion_support.h"
#include "system_audio/conversion/linear_resampler.h"
#include "system_audio/conversion/mono_mixdown.h"

namespace system_audio {
namespace {

TEST(MonoMixdown, EachListGivesItsExactBitsOrIsUnreadable) {
  const float nan = std::bit_cast<float>(0x7fa00001u);
  const struct {
    const char* name;
    std::vector<std::pair<std::uint32_t, Samples>> buffers;  // channels, samples
    std::optional<Samples> mono;                             // absent: unreadable
    std::optional<std::uint32_t> bytes = {};                 // of buffer 0, when not its own
  } rows[] = {
      {"no buffers", {}, Samples{}},
      {"zero bytes", {{1, {1, 2}}}, std::nullopt, 0},
      {"not whole samples", {{1, {1, 2}}}, std::nullopt, 6},
      {"no data", {{1, {}}}, std::nullopt, 8},
      {"only unusable buffers", {{1, {}}, {2, {}}}, std::nullopt},
      {"more channels than samples", {{4, {1, 2}}}, Samples{}},
      {"a buffer too short for a frame", {{1, {1, 2, 3}}, {2, {4}}}, Samples{}},
      {"zero channels is mono, every bit kept", {{0, {-0.0f, nan}}}, Samples{-0.0f, nan}},
      {"stereo, incomplete frame ignored", {{2, {1, 3, 5}}}, Samples{2}},
      {"negative zeros sum from +0.0", {{5, Samples(5, -0.0f)}}, Samples{0}},
      {"channels added in order", {{3, {1e8f, -1e8f, 1, 1, 1e8f, -1e8f}}}, Samples{1.0f / 3, 0}},
      {"buffers added in order", {{1, {1e8f}}, {1, {-1e8f}}, {1, {1}}}, Samples{1.0f / 3}},
      {"shortest buffer rules", {{1, {3, 4, 5, 6, 7}}, {1, {1, 2, 3}}}, Samples{2, 3, 4}},
      {"unusable buffers do not count", {{1, {}}, {1, {0.5f, -0.25f}}}, Samples{0.5f, -0.25f}},
      {"each buffer weighs the same", {{2, {1, 3, -2, 0}}, {1, {4, 1}}}, Samples{3, 0}},
  };
  for (const auto& row : rows) {
    BufferList list(row.buffers.size());
    for (std::size_t i = 0; i < row.buffers.size(); ++i) {
      list.set(i, row.buffers[i].first, row.buffers[i].second);
    }
    if (row.bytes) list.list().mBuffers[0].mDataByteSize = *row.bytes;
    const auto mono = copy_mono_f32_input(list.list());
    ASSERT_EQ(mono.has_value(), row.mono.has_value()) << row.name;
    if (mono) {
      EXPECT_EQ(bits_of(*mono), bits_of(*row.mono)) << row.name;
    }
  }
}

// Long interleaved buffers too, so vectorised loops and their remainders are
// held to the frame-by-frame arithmetic.
TEST(MonoMixdown, EveryLengthMatchesFrameByFrameArithmetic) {
  std::mt19937 random(48000);
  std::uniform_real_distribution<float> level(-1e4f, 1e4f);
  for (std::uint32_t channels : {2u, 3u, 6u}) {
    for (std::size_t frames = 1; frames <= 70; ++frames) {
      Samples data(frames * channels);
      Samples expected;
      for (auto& sample : data) sample = level(random);
      for (std::size_t f = 0; f < frames; ++f) {
        volatile float sum = 0.0f;
        for (std::size_t c = 0; c < channels; ++c) sum = sum + data[f * channels + c];
        expected.push_back(sum / float(channels));
      }
      const auto mono = copy_mono_f32_input(BufferList(1).set(0, channels, data).list());
      ASSERT_EQ(bits_of(mono.value_or(Samples{-1})), bits_of(expected))
          << channels << " " << frames;
    }
  }
}

TEST(LinearResampler, UnusableRatesBecome16kHzOthersAreKept) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  for (double rate : {8000.0, 0.0, -1.0, inf, -inf, std::nan(""), 15999.999999999998, 16000.0,
                      16000.000000000004, 44100.0}) {
    EXPECT_EQ(LinearResampler(rate).source_rate, rate >= 16000.0 && rate < inf ? rate : 16000.0);
  }
}

// Each row: calls in order, each with its exact output, and what is left.
TEST(LinearResampler, BlocksGiveTheirSamplesAndCarryThePhaseOn) {
  const float tiny = std::numeric_limits<float>::denorm_min();
  const float t_44k1 = float(44100.0 / 16000.0 - 2.0);  // t rounded from the f64 position
  const struct {
    double rate;
    std::vector<std::pair<Samples, Samples>> calls;
    double position;    // after the last call
    bool exact = true;  // every output bit for bit; else within 1e-6
  } rows[] = {
      {16000, {{{1, 2, 3}, {1, 2}}, {{4, 5}, {3, 4}}, {{}, {}}}, 0},
      {16000, {{{tiny, -1e-30f, -0.0f, 7.5f}, {tiny, -1e-30f, 0.0f}}}, 0},
      {48000, {{{10, 11, 12, 13, 14, 15, 16}, {10, 13}}, {{17, 18, 19}, {16}}, {{20}, {19}}}, 2},
      {48000, {{{0.5f}, {}}, {{1.0f}, {0.5f}}}, 2},
      {44100, {{{0, 0, 0, 1}, {0, t_44k1}}, {{1, 1, 1}, {1}}}, 2.26875},
      // The summed position lands a rounding below the last index (10.999...
      // for an exact 11): one sample more than ceil(n / step) is due.
      {17600,
       {{{0}, {}},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
         {0, 1.1f, 2.2f, 3.3f, 4.4f, 5.5f, 6.6f, 7.7f, 8.8f, 9.9f, 11}}},
       1.0999999999999979,
       false},
      // A rate far beyond any index must not read past the newest sample.
      {1e300, {{{1, 2, 3}, {1}}, {{4, 5}, {}}}, 1e300 / 16000 - 4},
  };
  for (const auto& row : rows) {
    LinearResampler resampler(row.rate);
    for (const auto& [in, out] : row.calls) {
      const Samples made = resampler.process(in);
      ASSERT_EQ(made.size(), out.size()) << row.rate;
      for (std::size_t k = 0; k < out.size(); ++k) EXPECT_NEAR(made[k], out[k], 1e-6) << row.rate;
      if (row.exact) {
        EXPECT_EQ(bits_of(made), bits_of(out)) << row.rate;
      }
    }
    EXPECT_EQ(resampler.pending,
              Samples{row.calls.back().first.empty() ? row.calls[row.calls.size() - 2].first.back()
                                                     : row.calls.back().first.back()});
    EXPECT_NEAR(resampler.position, row.position, 1e-9 * std::max(1.0, row.position)) << row.rate;
  }
}

}  // namespace
}  // namespace system_audio
