#pragma once

// The helper as its parent meets it: the real executable behind pipes, run
// against a private audio server.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "private_audio_server.h"

namespace end_to_end {

using Clock = std::chrono::steady_clock;

// Starts a private server for the test (a failed start fails the test).
std::unique_ptr<test_support::PrivateAudioServer> start_server(
    test_support::PrivateAudioServer::Options options = {});

// The environment entries to add for a helper run: these, plus a
// ThreadSanitizer setting so that a sanitized helper exits when it exits
// (by default it sleeps a second at exit while other threads run).
std::vector<std::string> helper_environment(std::vector<std::string> entries);

// The helper on a server: argv[0] is the built helper, the server named in
// PULSE_SERVER.
std::unique_ptr<test_support::ChildProcess> start_helper(const std::string& pulse_server,
                                                         std::vector<std::string> arguments = {});

// What came out on standard output, line by line, with the PCM decoded as a
// parent decodes it and the time each line was read.
struct Captured {
  std::vector<std::string> lines;
  std::vector<Clock::time_point> read_at;  // one per line
  std::vector<float> samples;              // every PCM payload, concatenated
  std::vector<std::size_t> chunk_ends;     // samples.size() after each PCM line
  std::vector<Clock::time_point> chunk_read_at;
  std::size_t undecodable = 0;  // PCM payloads that are not whole floats

  void add(std::string line, Clock::time_point when);
  std::size_t pcm_lines() const { return chunk_ends.size(); }
};

// Reads lines into captured until stop() says so or the time runs out;
// false when the time ran out or the output ended first.
template <class Stop>
bool read_until(test_support::ChildProcess& helper, Captured& captured,
                std::chrono::milliseconds limit, Stop stop) {
  const auto deadline = Clock::now() + limit;
  while (!stop()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    auto line = helper.read_line(left);
    if (!line) return false;
    captured.add(std::move(*line), Clock::now());
  }
  return true;
}

// A helper streaming from a private server of its own, read up to its first PCM
// line: audio played before an idle server's first delivery reaches no client.
struct Streaming {
  std::unique_ptr<test_support::PrivateAudioServer> server;
  std::unique_ptr<test_support::ChildProcess> helper;
  Captured out;
};
// nullptr (with the test failed) when the server or the stream did not start.
std::unique_ptr<Streaming> start_streaming();

// Reads for a while, whatever comes.
void read_for(test_support::ChildProcess& helper, Captured& captured,
              std::chrono::milliseconds duration);

// Plays a sound on the server from a thread of its own while the test reads
// the helper (a helper whose pipe is not read stalls on it).
class Playback {
 public:
  Playback(const test_support::PrivateAudioServer& server, std::vector<float> interleaved_stereo);
  ~Playback();
  // Waits for the end of the sound; the server's error text if it failed.
  std::optional<std::string> finish();
  bool done() const;

 private:
  // The thread comes last: it starts once the rest exists.
  std::optional<std::string> error_;
  std::atomic<bool> done_{false};
  std::thread player_;
};

}  // namespace end_to_end
