// The platform serialises callbacks, but a capture state must not rely on it:
// overlapping calls report "receiving" once, make one resampler and lose nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "conversion_support.h"

namespace system_audio {
namespace {

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
  EXPECT_EQ(tap.statuses(), std::vector<std::string>{"receiving"});
  EXPECT_EQ(sck.statuses(), std::vector<std::string>{"receiving"});
}

}  // namespace
}  // namespace system_audio
