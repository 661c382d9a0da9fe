#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <thread>

#include "conversion_support.h"

namespace system_audio {
namespace {

using Texts = std::vector<std::string>;

// Stereo frames whose channels average to the frame number, in calls of 1, 511,
// 512 and 512 frames: every third frame comes out, one chunk for each call
// that yields samples, together what the path makes of the mono ramp in one
// piece; "receiving" with the first chunk. Lists without a whole frame send nothing.
TEST(TapCallback, At48kHzEveryThirdFrameComesOutInChunksOfTheCallbacks) {
  Capture<TapCallbackState> tap(48000.0);
  using Lists = std::vector<std::pair<std::uint32_t, Samples>>;
  for (const Lists& none : {Lists{}, Lists{{1, {}}, {2, {}}}, Lists{{4, {1, 2}}}}) {
    process_input_buffers(*tap.state, BufferList(none).list());
  }
  const std::size_t frames[] = {1, 511, 512, 512}, sizes[] = {0, 171, 170, 171};
  Samples joined, ramp;
  for (std::size_t call = 0; call < 4; ++call) {
    Samples data;
    for (std::size_t f = ramp.size(), end = f + frames[call]; f < end; ++f) {
      data.insert(data.end(), {f - 0.5f, f + 0.5f});
      ramp.push_back(float(f));
    }
    process_input_buffers(*tap.state, BufferList({{2, data}}).list());
    std::size_t chunks = 0;
    const Samples out = tap.samples(&chunks);
    EXPECT_EQ(chunks, sizes[call] ? 1u : 0u);
    ASSERT_EQ(out.size(), sizes[call]);
    joined.insert(joined.end(), out.begin(), out.end());
    EXPECT_EQ(tap.statuses(), call == 1 ? Texts{"receiving"} : Texts{});
  }
  LowPassFilter filter(48000.0);
  LinearResampler resampler(48000.0);
  low_pass(filter, resampler, ramp);
  EXPECT_EQ(joined, resampler.process(ramp));
}

// A resampler, and its diagnostic, only when the rate differs from the stored
// one by more than the f64 epsilon. Rates below 16 kHz compare as the 16 kHz
// they are stored as; NaN never compares greater, so it never remakes one.
TEST(SckCallback, TheResamplerIsRemadeOnlyWhenTheRateChanges) {
  const struct {
    double rate;
    Samples in;
    const char* diagnostic;  // after "sck: source format rate="; "" for none
  } calls[] = {
      {NAN, {1, 2, 3}, "NaN"},
      {NAN, {4, 5}, ""},
      {48000, {1, 2, 3, 4}, "48000"},
      {NAN, {5, 6, 7, 8}, ""},  // the 48 kHz path goes on
      {std::nextafter(48000.0, 0.0), {1, 2, 3, 4}, "47999.99999999999"},
      {44100, {6, 7, 8, 9, 10, 11}, "44100"},  // the old pending sample is gone
      {44100, {12}, ""},
      {8000, {1, 2, 3}, "8000"},
      {8000, {4}, ""},  // stored as 16 kHz: kept, losing no sample
      {std::nextafter(16000.0, 1e9), {5, 6}, "16000.000000000002"},
      {96000, {}, ""},  // nothing readable: no resampler made
  };
  Capture<SckAudioOutput> sck;
  // What a path made afresh at each diagnostic, and kept otherwise, gives.
  std::optional<LinearResampler> resampler;
  std::optional<LowPassFilter> filter;
  for (const auto& call : calls) {
    testing::internal::CaptureStderr();
    process_sck_input(*sck.state, BufferList({{1, call.in}}).list(), call.rate);
    EXPECT_EQ(
        testing::internal::GetCapturedStderr(),
        call.diagnostic[0] ? "sck: source format rate=" + std::string(call.diagnostic) + "\n" : "");
    if (call.diagnostic[0]) {
      resampler.emplace(call.rate);
      filter.emplace(resampler->source_rate);
    }
    Samples block = call.in;
    if (resampler) low_pass(*filter, *resampler, block);
    const Samples expected = resampler ? resampler->process(block) : Samples{};
    EXPECT_EQ(sck.samples(), expected) << call.rate;
  }
  EXPECT_EQ(sck.statuses(), Texts{"receiving"});
}

// The platform serialises callbacks, but a capture state must not rely on it:
// overlapping calls report "receiving" once, make one resampler and lose nothing.
TEST(CaptureState, OverlappingCallbacksReportOnceMakeOneResamplerAndLoseNothing) {
  Capture<TapCallbackState> tap(16000.0);  // pass-through: all but the newest sample come out
  Capture<SckAudioOutput> sck;
  std::vector<std::thread> threads;
  testing::internal::CaptureStderr();
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int call = 0; call < 200; ++call) {
        Samples block(64);
        for (int f = 0; f < 64; ++f) block[f] = float((t * 200 + call) * 64 + f);
        process_input_buffers(*tap.state, BufferList({{1, block}}).list());
        process_sck_input(*sck.state, BufferList({{1, block}}).list(), 48000.0);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "sck: source format rate=48000\n");
  Samples out = tap.samples();
  out.push_back(tap.state->resampler.pending.at(0));
  std::sort(out.begin(), out.end());
  ASSERT_EQ(out.size(), 4u * 200 * 64);
  for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], float(i));
  EXPECT_EQ(tap.statuses(), Texts{"receiving"});
  EXPECT_EQ(sck.statuses(), Texts{"receiving"});
}

}  // namespace
}  // namespace system_audio
