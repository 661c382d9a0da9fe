#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "sck_fake.h"
#include "system_audio/frame/messages.h"
#include "system_audio/sck/sck_session.h"

namespace system_audio::testing {

// The scripted platform installed afresh for each test, every answer settled after.
class SckFakeTest : public ::testing::Test {
 protected:
  fake::Script& script = fake::install();
  PcmReceiver pcm_rx_;
  StatusReceiver status_rx_;

  void TearDown() override {
    fake::reset_screen_capture();
    fake::uninstall();
  }

  std::pair<PcmSender, StatusSender> senders() {
    auto [pcm_tx, pcm_rx] = make_channel<PcmChunk>();
    auto [status_tx, status_rx] = make_channel<StatusText>();
    pcm_rx_ = std::move(pcm_rx);
    status_rx_ = std::move(status_rx);
    return {std::move(pcm_tx), std::move(status_tx)};
  }
  bool pcm_channel_closed() {
    return pcm_rx_.receive_for(std::chrono::seconds(0)).status == ReceiveStatus::closed;
  }
  bool status_channel_closed() {
    return status_rx_.receive_for(std::chrono::seconds(0)).status == ReceiveStatus::closed;
  }

  // The release calls logged, in order.
  static std::vector<std::string> releases() {
    std::vector<std::string> out;
    for (const auto& call : fake::log()) {
      if (call.find("elease(") != std::string::npos) out.push_back(call);
    }
    return out;
  }
  // Everything given back once, after the fake's own threads are done.
  static void expect_nothing_left() {
    fake::reset_screen_capture();
    EXPECT_TRUE(fake::leftovers().empty()) << ::testing::PrintToString(fake::leftovers());
  }
};

// The diagnostic lines of what runs in between.
inline void capture_diagnostics() {
  ::testing::internal::CaptureStderr();
}
inline std::vector<std::string> captured_diagnostics() {
  const std::string text = ::testing::internal::GetCapturedStderr();
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(text.substr(at, end - at));
  }
  return lines;
}

}  // namespace system_audio::testing
