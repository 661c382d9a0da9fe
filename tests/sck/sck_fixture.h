#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "sck_fake.h"
#include "system_audio/frame/messages.h"
#include "system_audio/sck/sck_session.h"

namespace system_audio::testing {

// The diagnostic lines written while alive, without their line feeds.
class DiagnosticsCapture {
 public:
  DiagnosticsCapture() : file_(std::tmpfile()), saved_(::dup(STDERR_FILENO)) {
    ::dup2(::fileno(file_), STDERR_FILENO);
  }
  ~DiagnosticsCapture() {
    restore();
    std::fclose(file_);
  }
  std::vector<std::string> lines() {
    restore();
    std::rewind(file_);
    std::vector<std::string> out;
    char line[4096];
    while (std::fgets(line, sizeof line, file_)) out.emplace_back(line, std::strcspn(line, "\n"));
    return out;
  }

 private:
  void restore() {
    if (saved_ >= 0) ::dup2(saved_, STDERR_FILENO), ::close(saved_), saved_ = -1;
  }
  std::FILE* file_;
  int saved_;
};

// Every platform call logged, objects checked, and the script fresh for each test.
class SckFakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset_screen_capture();
    standin::reset_ledger();
    standin::set_call_hook([this](std::string_view function, std::string_view arguments) {
      std::lock_guard lock(mutex_);
      log_.push_back(std::string(function) + "(" + std::string(arguments) + ")");
      return std::erase(failing_, std::string(function)) == 0;
    });
  }
  void TearDown() override {
    fake::reset_screen_capture();
    standin::set_call_hook({});
  }

  // The next call of function returns nil.
  void fail_next(std::string function) {
    std::lock_guard lock(mutex_);
    failing_.push_back(std::move(function));
  }
  std::vector<std::string> releases() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& call : log_) {
      if (call.find("elease(") != std::string::npos) out.push_back(call);
    }
    return out;
  }
  void clear_log() {
    std::lock_guard lock(mutex_);
    log_.clear();
  }
  // Live objects and misuse, as text: empty when everything was given back once.
  static std::vector<std::string> leftovers() {
    std::vector<std::string> out = standin::faults();
    for (const auto& object : standin::live_objects())
      out.push_back("alive: " + object.description);
    return out;
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

  PcmReceiver pcm_rx_;
  StatusReceiver status_rx_;

 private:
  std::mutex mutex_;
  std::vector<std::string> log_;
  std::vector<std::string> failing_;
};

}  // namespace system_audio::testing
