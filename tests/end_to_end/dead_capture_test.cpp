// A capture that dies while streaming is told once, as a "failed: " status;
// the helper lives on, and a parent that then closes its pipes still ends it
// with status 2 within a second, also while the server is frozen.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <functional>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

// pactl commands (a shell line) against the server, through its socket.
std::function<void(PrivateAudioServer&)> pactl(std::string commands) {
  return [commands](PrivateAudioServer& server) {
    const std::string line = "export PULSE_SERVER='" + server.address() + "'; " + commands;
    ASSERT_EQ(std::system((line + " >/dev/null").c_str()), 0) << line;
  };
}

TEST(DeadCapture, EachCauseIsToldOnceAndAParentThatGoesStillEndsTheHelper) {
  const struct {
    const char* name;
    std::function<void(PrivateAudioServer&)> act;
    std::vector<std::string> statuses;
  } rows[] = {
      {"server killed",
       [](PrivateAudioServer& s) { ::kill(s.pid(), SIGKILL); },
       {"receiving", "failed: CoreAudio audio service restarted"}},
      {"sink removed",
       pactl("pactl unload-module module-null-sink"),
       {"receiving", "failed: CoreAudio output device is gone"}},
      {"default sink switched",
       pactl("pactl load-module module-null-sink sink_name=vantle_other &&"
             " pactl set-default-sink vantle_other"),
       {"receiving", "failed: CoreAudio default output device changed"}},
      {"server frozen", [](PrivateAudioServer& s) { s.freeze(); }, {"receiving"}},
  };
  for (const auto& row : rows) {
    auto server = start_server();
    ASSERT_TRUE(server);
    Captured out;
    auto helper = start_streaming(*server, out);
    ASSERT_TRUE(helper) << row.name;
    row.act(*server);
    // Until the status, then a while longer for any repeat.
    const auto& statuses = out.reader.statuses();
    read_until(*helper, out, 5s, [&] { return statuses.size() >= row.statuses.size(); });
    read_until(*helper, out, 500ms, [&] { return statuses.size() > row.statuses.size(); });
    EXPECT_EQ(statuses, row.statuses) << row.name;
    helper->close_output();
    helper->close_errors();
    const auto end = helper->wait(1s);
    EXPECT_EQ(end ? end->describe() : "running", "exit status 2") << row.name;
  }
}

}  // namespace
}  // namespace end_to_end
