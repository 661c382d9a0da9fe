#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fake_apple.h"
#include "lines.h"
#include "received.h"
#include "system_audio/coreaudio/coreaudio_session.h"

namespace system_audio::testing {

// The fake HAL's objects.
inline constexpr AudioObjectID kDevice = 73, kTap = 77, kAggregate = 88;

// The diagnostics of a successful start, in order.
// clang-format off
inline const std::vector<std::string> kStartLines = {
    "coreaudio: start", "coreaudio: tap description created",
    "coreaudio: process tap created id=77",
    "coreaudio: tap format rate=48000 channels=1 flags=9 bits=32",
    "coreaudio: aggregate description ready", "coreaudio: aggregate created id=88",
    "coreaudio: io proc created", "coreaudio: device started"};
// clang-format on

// A started session's listeners going, newest first.
inline const std::vector<std::string> kRemoveListeners = {
    "AudioObjectRemovePropertyListenerBlock(88, 'gone')",
    "AudioObjectRemovePropertyListenerBlock(77, 'tfmt')",
    "AudioObjectRemovePropertyListenerBlock(1, 'srst')",
    "AudioObjectRemovePropertyListenerBlock(1, 'dOut')",
    "AudioObjectRemovePropertyListenerBlock(73, 'livn')"};

// Every test installs the scripted HAL afresh and leaves it cleared.
class FakeHalTest : public ::testing::Test {
 protected:
  fake::Script& script = fake::install();
  PcmReceiver pcm_rx;
  StatusReceiver status_rx;
  std::vector<std::string> diagnostics;  // of the last start
  // The platform calls of the last start, with "senders gone" where the PCM
  // channel was first seen closed.
  std::vector<std::string> calls;

  void TearDown() override { fake::uninstall(); }

  Result<CoreAudioSession> start() {
    auto [pcm_tx, pcm] = make_channel<PcmChunk>();
    auto [status_tx, status] = make_channel<StatusText>();
    pcm_rx = std::move(pcm);
    status_rx = std::move(status);
    calls.clear();
    const auto mark_gone = [this] {
      if (std::ranges::count(calls, "senders gone") == 0 && pcm_closed()) {
        calls.push_back("senders gone");
      }
    };
    fake::set_observer([&](const std::string& line) {
      mark_gone();
      calls.push_back(line);
    });
    ::testing::internal::CaptureStderr();
    auto session = CoreAudioSession::start({}, std::move(pcm_tx), std::move(status_tx));
    const std::string text = ::testing::internal::GetCapturedStderr();
    fake::set_observer(nullptr);
    mark_gone();
    diagnostics = split_lines(text);
    return session;
  }

  // The statuses sent so far, joined by "|".
  std::string statuses() {
    std::string joined;
    for (const auto& text : received_statuses(status_rx))
      joined += (joined.empty() ? "" : "|") + text;
    return joined;
  }
  std::vector<float> samples() { return received_samples(pcm_rx); }

  bool pcm_closed() {
    return pcm_rx.receive_for(std::chrono::milliseconds(0)).status == ReceiveStatus::closed;
  }

  // The release and destroy calls that end the last start.
  std::vector<std::string> teardown() const {
    auto first = calls.end();
    while (first != calls.begin() &&
           ((first - 1)->find("elease(") != std::string::npos ||
            (first - 1)->find("Destroy") != std::string::npos ||
            (first - 1)->find("Remove") != std::string::npos || *(first - 1) == "senders gone")) {
      --first;
    }
    return {first, calls.end()};
  }
};

}  // namespace system_audio::testing
