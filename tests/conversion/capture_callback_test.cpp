#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "conversion_support.h"

namespace system_audio {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
const std::vector<std::string> kReceiving = {"receiving"};

// Stereo frames whose channels average to the running frame number, so each
// resampled value names the source position it came from.
Samples stereo_ramp(std::size_t first_frame, std::size_t frames) {
  Samples data;
  for (std::size_t f = first_frame; f < first_frame + frames; ++f)
    data.insert(data.end(), {f - 0.5f, f + 0.5f});
  return data;
}

TEST(TapCallback, At48kHz512FramesGive171Then170Then171SamplesAndReceivingOnce) {
  Capture<TapCallbackState> tap(48000.0);
  const std::size_t sizes[] = {171, 170, 171};
  Samples all;
  for (std::size_t call = 0; call < 3; ++call) {
    const Samples data = stereo_ramp(call * 512, 512);
    process_input_buffers(*tap.state, BufferList(1).set(0, 2, data).list());
    const auto chunks = drain(tap.pcm_rx);
    ASSERT_EQ(chunks.size(), 1u);
    ASSERT_EQ(chunks[0].size(), 4 * sizes[call]);
    for (float sample : joined(chunks)) all.push_back(sample);
    EXPECT_EQ(drain(tap.status_rx), call == 0 ? kReceiving : std::vector<std::string>{});
  }
  for (std::size_t k = 0; k < all.size(); ++k) ASSERT_EQ(all[k], float(3 * k)) << k;
}

TEST(TapCallback, NothingIsSentOrChangedUntilACallbackYieldsSamples) {
  Capture<TapCallbackState> tap(16000.0);
  const Samples one = {0.5f}, pair = {1, 2};
  process_input_buffers(*tap.state, BufferList(0).list());
  process_input_buffers(*tap.state, BufferList(2).list());                  // no data at all
  process_input_buffers(*tap.state, BufferList(1).set(0, 4, pair).list());  // not one frame
  process_input_buffers(*tap.state, BufferList(1).set(0, 1, one).list());   // waits for the next
  EXPECT_TRUE(drain(tap.pcm_rx).empty());
  EXPECT_TRUE(drain(tap.status_rx).empty());
  EXPECT_EQ(tap.state->resampler.pending, one);
  process_input_buffers(*tap.state, BufferList(1).set(0, 1, pair).list());
  EXPECT_EQ(drain(tap.status_rx), kReceiving);
  EXPECT_EQ(joined(drain(tap.pcm_rx)), (Samples{0.5f, 1}));
  // With the frame's receivers gone, callbacks go on converting silently.
  tap.pcm_rx = PcmReceiver();
  process_input_buffers(*tap.state, BufferList(1).set(0, 1, one).list());
  EXPECT_EQ(tap.state->resampler.pending, one);
}

// A resampler, and its diagnostic, only when the rate differs from the stored
// one by more than the f64 epsilon. Rates below 16 kHz compare as the 16 kHz
// they are stored as; NaN never compares greater, so it never remakes one.
TEST(SckCallback, TheResamplerIsRemadeOnlyWhenTheRateChanges) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double rate;
    Samples in;
    const char* diagnostic;  // after "sck: source format rate="; "" for none
    Samples out;
  } calls[] = {
      {nan, {1, 2, 3}, "NaN", {1, 2}},
      {nan, {4, 5}, "", {3, 4}},
      {48000, {1, 2, 3, 4}, "48000", {1}},
      {nan, {5, 6, 7, 8}, "", {4, 7}},  // a fresh 16 kHz one would give 5, 6, 7
      {std::nextafter(48000.0, 0.0), {1, 2, 3, 4}, "47999.99999999999", {1, 4}},
      {44100, {6, 7, 8, 9, 10, 11}, "44100", {6, 8.75625f}},  // the old pending sample is gone
      {44100, {12}, "", {11.5125f}},
      {8000, {1, 2, 3}, "8000", {1, 2}},
      {8000, {4}, "", {3}},  // stored as 16 kHz: kept, losing no sample
      {std::nextafter(16000.0, 1e9), {5, 6}, "16000.000000000002", {5}},
  };
  Capture<SckAudioOutput> sck;
  for (const auto& call : calls) {
    CaptureStderr();
    process_sck_input(*sck.state, BufferList(1).set(0, 1, call.in).list(), call.rate);
    const std::string diagnostic =
        call.diagnostic[0] ? "sck: source format rate=" + std::string(call.diagnostic) + "\n" : "";
    EXPECT_EQ(GetCapturedStderr(), diagnostic) << call.rate;
    const Samples out = joined(drain(sck.pcm_rx));
    ASSERT_EQ(out.size(), call.out.size()) << call.rate;
    for (std::size_t k = 0; k < out.size(); ++k)
      EXPECT_NEAR(out[k], call.out[k], 1e-5) << call.rate;
  }
  EXPECT_EQ(drain(sck.status_rx), kReceiving);
  CaptureStderr();
  process_sck_input(*sck.state, BufferList(0).list(), 96000);  // unreadable: no new resampler
  EXPECT_EQ(GetCapturedStderr(), "");
}

}  // namespace
}  // namespace system_audio
