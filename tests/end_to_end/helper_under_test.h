#pragma once

// The helper as its parent meets it: the real executable behind pipes, run
// against a private audio server and read with the example parent's reader.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <expected>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "helper_child.h"
#include "lines.h"
#include "private_audio_server.h"
#include "protocol_reader.h"
#include "sck_start_steps.h"

namespace end_to_end {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test_support::PrivateAudioServer;

inline std::unique_ptr<PrivateAudioServer> start_server(PrivateAudioServer::Options options = {}) {
  auto server = PrivateAudioServer::start(options);
  EXPECT_TRUE(server) << "private audio server: " << (server ? "" : server.error());
  return server ? std::move(*server) : nullptr;
}

// A sanitized helper must exit when it exits, not sleep while threads run.
inline std::unique_ptr<parent::Child> start_helper(const std::string& pulse_server,
                                                   std::vector<std::string> arguments = {},
                                                   parent::ChildStreams given = {}) {
  const char* tsan = std::getenv("TSAN_OPTIONS");
  arguments.insert(arguments.begin(), std::string(VANTLE_AUDIO_HELPER_PATH));
  const std::string options =
      std::string("TSAN_OPTIONS=") + (tsan ? tsan : "") + ":atexit_sleep_ms=0";
  return std::move(parent::Child::spawn(arguments, {pulse_server, options}, given).value());
}

// What the parent has read, with the time each PCM line arrived.
struct Captured {
  parent::ProtocolReader reader;
  std::vector<Clock::time_point> chunk_read_at;
};

// Reads until stop() says so; false when the time or the output ran out first.
inline bool read_until(parent::Child& helper, Captured& out, std::chrono::milliseconds limit,
                       auto stop) {
  for (const auto deadline = Clock::now() + limit; !stop();) {
    const auto bytes = helper.read_output(deadline);
    if (!bytes || bytes->empty()) return false;
    out.reader.feed(*bytes);
    out.chunk_read_at.resize(out.reader.pcm_lines(), Clock::now());
  }
  return true;
}

// Plays the sound into the server's sink while the helper's output is read:
// from a thread of its own, since a helper whose pipe is not read stalls.
inline std::expected<void, std::string> play_while_reading(const PrivateAudioServer& server,
                                                           const std::vector<float>& stereo,
                                                           parent::Child& helper, Captured& out) {
  std::atomic<bool> done = false;
  std::expected<void, std::string> played;
  std::thread player([&] {
    played = server.play(stereo);
    done = true;
  });
  read_until(helper, out, 20s, [&] { return done.load(); });
  player.join();
  return played;
}

// A helper on the server, read up to its first PCM line: audio played before an
// idle server's first delivery reaches no client.
inline std::unique_ptr<parent::Child> start_streaming(const PrivateAudioServer& server,
                                                      Captured& out,
                                                      std::vector<std::string> arguments = {}) {
  auto helper = start_helper(server.environment_entry(), std::move(arguments));
  const bool streaming = read_until(*helper, out, 15s, [&] { return out.reader.pcm_lines() > 0; });
  EXPECT_TRUE(streaming) << "no PCM line within 15 s; stderr:\n" << helper->error_text();
  return streaming ? std::move(helper) : nullptr;
}

// "helper: boot", then the first `count` start steps, on the stand-in's display.
inline std::vector<std::string> sck_diagnostics(std::size_t count) {
  const auto steps = sck_start_steps("id=1 size=1920x1080");
  std::vector<std::string> lines{"helper: boot"};
  lines.insert(lines.end(), steps.begin(), steps.begin() + long(count));
  return lines;
}

}  // namespace end_to_end
