#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "capture_harness.h"

namespace system_audio {
namespace {

// The platform serialises callbacks, but the state must not rely on it: even
// overlapping calls report "receiving" once and lose no sample.
TEST(CaptureCallbackConcurrency, OverlappingTapCallbacksReportOnceAndLoseNothing) {
  constexpr int kThreads = 4;
  constexpr int kCalls = 300;
  constexpr int kFrames = 64;
  TapHarness tap(16000.0);  // pass-through: every sample but the newest comes out
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&tap, t] {
      for (int call = 0; call < kCalls; ++call) {
        Samples block;
        for (int f = 0; f < kFrames; ++f) {
          block.push_back(static_cast<float>((t * kCalls + call) * kFrames + f));
        }
        tap.callback(1, block);
      }
    });
  }
  for (auto& thread : threads) thread.join();

  Samples out;
  for (const auto& chunk : drain(tap.pcm_rx)) {
    const Samples part = samples_of(chunk);
    out.insert(out.end(), part.begin(), part.end());
  }
  out.push_back(tap.state->resampler.pending.at(0));
  std::sort(out.begin(), out.end());
  ASSERT_EQ(out.size(), static_cast<std::size_t>(kThreads * kCalls * kFrames));
  for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], static_cast<float>(i));
  EXPECT_EQ(drain(tap.status_rx), std::vector<std::string>{"receiving"});
}

TEST(CaptureCallbackConcurrency, OverlappingSckCallbacksMakeOneResampler) {
  constexpr int kThreads = 4;
  SckHarness sck;
  std::string diagnostics;
  {
    StderrCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&sck] {
        const Samples block(480, 0.5f);
        auto list = single_buffer(1, block);
        for (int call = 0; call < 100; ++call) process_sck_input(*sck.output, list.list(), 48000.0);
      });
    }
    for (auto& thread : threads) thread.join();
    diagnostics = capture.text();
  }
  EXPECT_EQ(diagnostics, "sck: source format rate=48000\n");
  EXPECT_EQ(drain(sck.status_rx), std::vector<std::string>{"receiving"});
  EXPECT_EQ(drain(sck.pcm_rx).size(), static_cast<std::size_t>(kThreads * 100));
}

}  // namespace
}  // namespace system_audio
