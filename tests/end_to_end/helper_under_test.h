#pragma once

// The helper as its parent meets it: the real executable behind pipes, run
// against a private audio server and read with the example parent's reader.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "helper_child.h"
#include "private_audio_server.h"
#include "protocol_reader.h"

namespace end_to_end {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test_support::PrivateAudioServer;

inline std::unique_ptr<PrivateAudioServer> start_server(PrivateAudioServer::Options options = {}) {
  auto server = PrivateAudioServer::start(options);
  if (!server) ADD_FAILURE() << "private audio server: " << server.error();
  return server ? std::move(*server) : nullptr;
}

// The helper with these arguments and environment entries. A sanitized helper
// must exit when it exits, not sleep a second while other threads run.
inline std::unique_ptr<parent::Child> start_helper(std::vector<std::string> environment,
                                                   std::vector<std::string> arguments = {}) {
  const char* tsan = std::getenv("TSAN_OPTIONS");
  environment.push_back(std::string("TSAN_OPTIONS=") + (tsan ? tsan : "") + ":atexit_sleep_ms=0");
  arguments.insert(arguments.begin(), VANTLE_AUDIO_HELPER_PATH);
  auto child = parent::Child::spawn(arguments, environment);
  if (!child) ADD_FAILURE() << child.error();
  return child ? std::move(*child) : nullptr;
}

// What the parent has read, with the time each PCM line arrived.
struct Captured {
  parent::ProtocolReader reader;
  std::vector<Clock::time_point> chunk_read_at;
};

// Reads until stop() says so; false when the time or the output ran out first.
template <class Stop>
bool read_until(parent::Child& helper, Captured& out, std::chrono::milliseconds limit, Stop stop) {
  const auto deadline = Clock::now() + limit;
  while (!stop()) {
    const auto bytes = helper.read_output(deadline);
    if (!bytes || bytes->empty()) return false;
    out.reader.feed(*bytes);
    out.chunk_read_at.resize(out.reader.pcm_lines(), Clock::now());
  }
  return true;
}

// A helper streaming from a server of its own, read up to its first PCM line:
// audio played before an idle server's first delivery reaches no client.
struct Streaming {
  std::unique_ptr<PrivateAudioServer> server = start_server();
  std::unique_ptr<parent::Child> helper;
  Captured out;

  bool started() {
    if (!server) return false;
    helper = start_helper({server->environment_entry()});
    if (helper && read_until(*helper, out, 15s, [&] { return out.reader.pcm_lines() > 0; })) {
      return true;
    }
    ADD_FAILURE() << "no PCM line within 15 s; stderr:\n" << (helper ? helper->error_text() : "");
    return false;
  }
};

}  // namespace end_to_end
