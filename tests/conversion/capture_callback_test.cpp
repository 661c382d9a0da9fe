#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "capture_harness.h"

namespace system_audio {
namespace {

// Stereo frames whose two channels average to the running frame number, so
// the resampled values name the source positions they came from.
Samples stereo_ramp(std::size_t first_frame, std::size_t frames) {
  Samples data;
  for (std::size_t f = first_frame; f < first_frame + frames; ++f) {
    data.push_back(static_cast<float>(f) - 0.5f);
    data.push_back(static_cast<float>(f) + 0.5f);
  }
  return data;
}

// What the path makes of a mono stream given in one piece.
Samples in_one_piece(double rate, Samples mono) {
  LowPassFilter filter(rate);
  LinearResampler resampler(rate);
  low_pass(filter, resampler, mono);
  return resampler.process(mono);
}

TEST(TapCallback, ThreeCallbacksAt48kHzGive171Then170Then171Samples) {
  TapHarness tap(48000.0);
  const std::size_t expected_sizes[] = {171, 170, 171};
  Samples joined;
  for (std::size_t call = 0; call < 3; ++call) {
    tap.callback(2, stereo_ramp(call * 512, 512));
    const auto chunks = drain(tap.pcm_rx);
    ASSERT_EQ(chunks.size(), 1u) << call;
    ASSERT_EQ(chunks[0].size(), 4 * expected_sizes[call]) << call;
    const Samples samples = samples_of(chunks[0]);
    joined.insert(joined.end(), samples.begin(), samples.end());
  }
  Samples ramp(1536);
  for (std::size_t f = 0; f < ramp.size(); ++f) ramp[f] = static_cast<float>(f);
  EXPECT_EQ(joined, in_one_piece(48000.0, ramp));
  EXPECT_EQ(drain(tap.status_rx), std::vector<std::string>{"receiving"});
}

TEST(TapCallback, ReceivingIsSentOnceByTheFirstCallbackThatYieldsSamples) {
  TapHarness tap(16000.0);
  tap.callback(1, Samples{0.5f});
  EXPECT_TRUE(drain(tap.pcm_rx).empty());
  EXPECT_TRUE(drain(tap.status_rx).empty());
  EXPECT_FALSE(tap.state->receiving_reported.load());

  tap.callback(1, Samples{0.75f});
  EXPECT_TRUE(tap.state->receiving_reported.load());
  EXPECT_EQ(drain(tap.status_rx), std::vector<std::string>{"receiving"});
  const auto chunks = drain(tap.pcm_rx);
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(samples_of(chunks[0]), Samples{0.5f});

  tap.callback(1, Samples{1.0f, 1.25f});
  EXPECT_TRUE(drain(tap.status_rx).empty());
  EXPECT_EQ(drain(tap.pcm_rx).size(), 1u);
}

TEST(TapCallback, UnreadableOrEmptyListsLeaveEverythingAsItWas) {
  TapHarness tap(44100.0);
  tap.callback(1, Samples{0, 1, 2, 3});
  drain(tap.pcm_rx);
  drain(tap.status_rx);
  const Samples pending = tap.state->resampler.pending;
  const double position = tap.state->resampler.position;

  BufferList none(0);
  process_input_buffers(*tap.state, none.list());
  BufferList nulls(2);
  nulls.buffer(0) = {1, 16, nullptr};
  nulls.buffer(1) = {2, 16, nullptr};
  process_input_buffers(*tap.state, nulls.list());
  tap.callback(4, Samples{1, 2});  // fewer samples than channels: empty mono

  EXPECT_TRUE(drain(tap.pcm_rx).empty());
  EXPECT_EQ(tap.state->resampler.pending, pending);
  EXPECT_EQ(tap.state->resampler.position, position);
}

TEST(TapCallback, WithTheReceiversGoneCallbacksKeepConvertingSilently) {
  TapHarness tap(48000.0);
  tap.pcm_rx = PcmReceiver();
  tap.status_rx = StatusReceiver();
  for (std::size_t call = 0; call < 3; ++call) tap.callback(2, stereo_ramp(call * 512, 512));
  EXPECT_TRUE(tap.state->receiving_reported.load());
  EXPECT_EQ(tap.state->resampler.pending, Samples{1535.0f});
}

// At audio rates neighbouring doubles are far more than the tolerance apart,
// so even the smallest change makes a new resampler and a new diagnostic.
TEST(SckCallback, AResamplerAndADiagnosticOnlyWhenTheRateChanges) {
  SckHarness sck;
  const std::pair<double, std::string> calls[] = {
      {44100.0, "sck: source format rate=44100\n"},
      {44100.0, ""},
      {44100.0, ""},
      {std::nextafter(44100.0, 0.0), "sck: source format rate=44099.99999999999\n"},
      {std::nextafter(16000.0, 1e9), "sck: source format rate=16000.000000000002\n"},
      {std::nextafter(16000.0, 1e9), ""},
  };
  for (const auto& [rate, diagnostics] : calls) {
    EXPECT_EQ(sck.callback(rate, Samples(480, 0.25f)), diagnostics) << rate;
    ASSERT_TRUE(sck.output->resampler.has_value());
    EXPECT_EQ(sck.output->resampler->source_rate, rate);
  }
  EXPECT_EQ(drain(sck.pcm_rx).size(), std::size(calls));
  EXPECT_EQ(drain(sck.status_rx), std::vector<std::string>{"receiving"});
}

TEST(SckCallback, ANewRateStartsAFreshResampler) {
  SckHarness sck;
  sck.callback(48000.0, Samples{1, 2, 3, 4, 5});
  EXPECT_EQ(sck.callback(44100.0, Samples{6, 7, 8, 9, 10, 11}), "sck: source format rate=44100\n");
  EXPECT_EQ(sck.output->resampler->source_rate, 44100.0);
  // A fresh resampler and filter: the 48 kHz samples they held are gone.
  const auto chunks = drain(sck.pcm_rx);
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(samples_of(chunks[1]), in_one_piece(44100.0, {6, 7, 8, 9, 10, 11}));
}

TEST(SckCallback, UnreadableBuffersDoNotMakeAResampler) {
  SckHarness sck;
  EXPECT_EQ(sck.callback(48000.0, Samples{1.0f}, 0), "");
  EXPECT_FALSE(sck.output->resampler.has_value());
}

// NaN runs at 16 kHz; once a resampler exists, NaN keeps it whatever its rate.
TEST(SckCallback, NotANumberRateNeverRemakesTheResampler) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  SckHarness sck;
  EXPECT_EQ(sck.callback(nan, Samples{1, 2, 3}), "sck: source format rate=NaN\n");
  EXPECT_EQ(sck.output->resampler->source_rate, 16000.0);
  EXPECT_EQ(sck.callback(nan, Samples{4, 5}), "");
  EXPECT_EQ(sck.callback(48000.0, Samples{1, 2, 3, 4}), "sck: source format rate=48000\n");
  EXPECT_EQ(sck.callback(nan, Samples{5, 6, 7, 8}), "");
  EXPECT_EQ(sck.output->resampler->source_rate, 48000.0);
  const auto chunks = drain(sck.pcm_rx);
  ASSERT_EQ(chunks.size(), 4u);
  EXPECT_EQ(samples_of(chunks[1]), (Samples{3, 4}));
  EXPECT_EQ(samples_of(chunks[3]).size(), 2u);  // a fresh 16 kHz one gives 3
}

// A source below 16 kHz runs as 16 kHz. Its resampler is kept from buffer to
// buffer like any other, so no sample is lost at the block joins.
TEST(SckCallback, ARateBelow16kHzKeepsItsResamplerAndLosesNoSample) {
  SckHarness sck;
  EXPECT_EQ(sck.callback(8000.0, Samples{1, 2, 3}), "sck: source format rate=8000\n");
  EXPECT_EQ(sck.callback(8000.0, Samples{4, 5, 6}), "");
  EXPECT_EQ(sck.callback(12000.0, Samples{7, 8}), "");
  Samples joined;
  for (const auto& chunk : drain(sck.pcm_rx)) {
    const Samples part = samples_of(chunk);
    joined.insert(joined.end(), part.begin(), part.end());
  }
  EXPECT_EQ(joined, (Samples{1, 2, 3, 4, 5, 6, 7}));
  // Moving up to a real rate still starts afresh.
  EXPECT_EQ(sck.callback(32000.0, Samples{9, 10, 11}), "sck: source format rate=32000\n");
}

}  // namespace
}  // namespace system_audio
