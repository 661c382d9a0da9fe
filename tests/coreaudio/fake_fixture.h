#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "../conversion/stderr_capture.h"
#include "fake_platform.h"
#include "system_audio/coreaudio/coreaudio_session.h"
#include "system_audio/frame/messages.h"

namespace system_audio::testing {

// The diagnostic lines written while alive, without their line feeds.
class DiagnosticsCapture : public StderrCapture {
 public:
  // Ends the capture.
  std::vector<std::string> lines() {
    const std::string all = text();
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t end; (end = all.find('\n', start)) != std::string::npos; start = end + 1) {
      out.push_back(all.substr(start, end - start));
    }
    if (start < all.size()) out.push_back(all.substr(start) + "<no line feed>");
    return out;
  }
};

// Every test starts from a fresh script and ends with the fake cleared.
class FakeHalTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }
  void TearDown() override { fake::reset(); }

  // The senders for a start, with their receivers kept here.
  std::pair<PcmSender, StatusSender> senders() {
    auto [pcm_tx, pcm_rx] = make_channel<PcmChunk>();
    auto [status_tx, status_rx] = make_channel<StatusText>();
    pcm_rx_ = std::move(pcm_rx);
    status_rx_ = std::move(status_rx);
    return {std::move(pcm_tx), std::move(status_tx)};
  }

  // True once every sender of the PCM channel is gone and nothing is queued.
  bool pcm_channel_closed() {
    return pcm_rx_.receive_for(std::chrono::milliseconds(0)).status == ReceiveStatus::closed;
  }
  bool status_channel_closed() {
    return status_rx_.receive_for(std::chrono::milliseconds(0)).status == ReceiveStatus::closed;
  }

  // A process tap made as the start makes it, for the reads that need one;
  // destroyed with destroy_tap().
  platform::AudioObjectID create_tap() {
    using namespace platform;
    NSArray* none = NSArray_new();
    NSString* uid =
        NSString_alloc_initWithBytes_length_encoding("FakeSpeakers:UID", 16, NSUTF8StringEncoding);
    CATapDescription* description = CATapDescription_initExcludingProcesses_andDeviceUID_withStream(
        CATapDescription_alloc(), none, uid, 0);
    AudioObjectID tap = 0;
    EXPECT_EQ(AudioHardwareCreateProcessTap(description, &tap), 0);
    NSObject_release(description);
    NSObject_release(uid);
    NSObject_release(none);
    fake::clear_log();
    return tap;
  }
  void destroy_tap(platform::AudioObjectID tap) { platform::AudioHardwareDestroyProcessTap(tap); }

  // Starts expecting `error`; checks that the channels closed and nothing is
  // left alive, and returns the diagnostics written.
  std::vector<std::string> start_expecting(const std::string& error) {
    auto [pcm_tx, status_tx] = senders();
    DiagnosticsCapture diagnostics;
    auto session = CoreAudioSession::start(std::move(pcm_tx), std::move(status_tx));
    auto lines = diagnostics.lines();
    EXPECT_EQ(session ? std::string("<started>") : session.error(), error);
    EXPECT_TRUE(pcm_channel_closed());
    EXPECT_TRUE(status_channel_closed());
    EXPECT_TRUE(fake::leftovers().empty()) << ::testing::PrintToString(fake::leftovers());
    return lines;
  }

  PcmReceiver pcm_rx_;
  StatusReceiver status_rx_;
};

// The diagnostics of a successful start, in order.
inline const std::vector<std::string> kStartLines = {
    "coreaudio: start",
    "coreaudio: tap description created",
    "coreaudio: process tap created id=77",
    "coreaudio: tap format rate=48000 channels=1 flags=9 bits=32",
    "coreaudio: aggregate description ready",
    "coreaudio: aggregate created id=88",
    "coreaudio: io proc created",
    "coreaudio: device started",
};

// The start's own releases, in the order every failed start ends with.
inline const std::vector<std::string> kStartReleases = {
    "CFRelease(CFDictionary{8})",
    "NSObject_release(CATapDescription)",
    "NSObject_release(NSString \"FakeSpeakers:UID\")",
    "CFRelease(CFString \"FakeSpeakers:UID\")",
    "NSObject_release(NSArray)",
};

// `first`, then the last `n` entries of kStartReleases.
inline std::vector<std::string> then_releases(std::vector<std::string> first, std::size_t n) {
  first.insert(first.end(), kStartReleases.end() - std::ptrdiff_t(n), kStartReleases.end());
  return first;
}

// The calls logged after the first one that starts with `call`; the whole log
// when no call matches (so the failure message shows it).
inline std::vector<std::string> calls_after(std::string_view call) {
  const auto all = fake::log();
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i].starts_with(call)) return {all.begin() + std::ptrdiff_t(i) + 1, all.end()};
  }
  return all;
}

// Whether `wanted` appears in `all` in this order, other entries in between.
inline ::testing::AssertionResult in_order(const std::vector<std::string>& all,
                                           const std::vector<std::string>& wanted) {
  std::size_t next = 0;
  for (const auto& entry : all) {
    if (next < wanted.size() && entry == wanted[next]) ++next;
  }
  if (next == wanted.size()) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure()
                 << "missing, in order: \"" << wanted[next] << "\"\nin:\n";
  for (const auto& entry : all) failure << "  " << entry << "\n";
  return failure;
}

}  // namespace system_audio::testing
