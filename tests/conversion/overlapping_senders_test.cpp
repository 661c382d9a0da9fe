// Channels and capture states shared by threads: nothing lost, nothing doubled.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "conversion_support.h"

namespace system_audio {
namespace {

TEST(Channel, SendersInterleaveInOrderAndTheChannelClosesWithTheLast) {
  auto [tx, rx] = make_channel<std::pair<int, int>>();  // sender, running number
  std::vector<std::thread> threads;
  for (int s = 0; s < 4; ++s) {
    threads.emplace_back([s, sender = tx] {
      for (int m = 0; m < 5000; ++m) EXPECT_TRUE(sender.send({s, m}));
    });
  }
  tx = {};
  std::vector<int> next(4, 0);
  while (auto message = rx.receive()) ASSERT_EQ(message->second, next[message->first]++);
  EXPECT_EQ(next, std::vector<int>(4, 5000));
  for (auto& thread : threads) thread.join();

  auto [late_tx, late_rx] = make_channel<std::string>();
  late_rx = {};
  EXPECT_EQ(late_tx.send("too late"), std::unexpected(std::string("too late")));
}

// The platform serialises callbacks, but the state must not rely on it.
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
        process_input_buffers(*tap.state, BufferList(1).set(0, 1, block).list());
        process_sck_input(*sck.state, BufferList(1).set(0, 1, block).list(), 48000.0);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "sck: source format rate=48000\n");
  Samples out = joined(drain(tap.pcm_rx));
  out.push_back(tap.state->resampler.pending.at(0));
  std::sort(out.begin(), out.end());
  for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], float(i));
  EXPECT_EQ(out.size(), 4u * 200 * 64);
  for (auto* status : {&tap.status_rx, &sck.status_rx}) {
    EXPECT_EQ(drain(*status), std::vector<std::string>{"receiving"});
  }
}

}  // namespace
}  // namespace system_audio
