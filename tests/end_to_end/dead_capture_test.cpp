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

// pactl commands against the server, through its socket.
std::function<void(PrivateAudioServer&)> pactl(std::string commands) {
  return [commands](PrivateAudioServer& server) {
    const std::string prefix = "PULSE_SERVER='" + server.address() + "' pactl ";
    std::string line;
    for (std::size_t at = 0, end; at < commands.size(); at = end + 1) {
      end = std::min(commands.find(';', at), commands.size());
      line += (line.empty() ? "" : " && ") + prefix + commands.substr(at, end - at);
    }
    ASSERT_EQ(std::system((line + " >/dev/null").c_str()), 0) << line;
  };
}

TEST(DeadCapture, EachCauseIsToldOnceAndAParentThatGoesStillEndsTheHelper) {
  const struct {
    const char* name;
    std::function<void(PrivateAudioServer&)> act;
    std::vector<std::string> told;
  } rows[] = {
      {"server killed",
       [](PrivateAudioServer& s) { ::kill(s.pid(), SIGKILL); },
       {"failed: CoreAudio audio service restarted"}},
      {"sink removed",
       pactl("unload-module module-null-sink"),
       {"failed: CoreAudio output device is gone"}},
      {"default sink switched",
       pactl("load-module module-null-sink sink_name=vantle_other;set-default-sink vantle_other"),
       {"failed: CoreAudio default output device changed"}},
      {"server frozen", [](PrivateAudioServer& s) { s.freeze(); }, {}},
  };
  for (const auto& row : rows) {
    auto server = start_server();
    ASSERT_TRUE(server);
    Captured out;
    auto helper = start_streaming(*server, out);
    ASSERT_TRUE(helper) << row.name;
    row.act(*server);
    std::vector<std::string> told;
    const auto read_told = [&] {
      told.clear();
      for (const auto& status : out.reader.statuses()) {
        if (status != "receiving") told.push_back(status);
      }
      return told.size() >= row.told.size() + 1;
    };
    // Until the status, then a while longer for any repeat.
    read_until(*helper, out, 5s, [&] { return read_told() || told.size() == row.told.size(); });
    read_until(*helper, out, 500ms, read_told);
    EXPECT_EQ(told, row.told) << row.name;
    helper->close_output();
    helper->close_errors();
    const auto end = helper->wait(1s);
    EXPECT_EQ(end ? end->describe() : "running", "exit status 2") << row.name;
  }
}

}  // namespace
}  // namespace end_to_end
