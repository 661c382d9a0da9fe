// A capture that dies while streaming is told once, as a "failed: " status;
// the helper lives on, and a parent that then closes its pipes still ends it
// with status 2 within a second.
#include <gtest/gtest.h>

#include <cstdlib>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

// Each row acts on the server with a shell line that sees its address in
// PULSE_SERVER and its process id in SERVER.
TEST(DeadCapture, EachCauseIsToldOnceAndAParentThatGoesStillEndsTheHelper) {
  const struct {
    const char* name;
    const char* act;
    std::vector<std::string> statuses;
  } rows[] = {
      {"server killed",
       "kill -KILL $SERVER",
       {"receiving", "failed: CoreAudio audio service restarted"}},
      {"sink removed",
       "pactl unload-module module-null-sink",
       {"receiving", "failed: CoreAudio output device is gone"}},
      {"default sink switched",
       "pactl load-module module-null-sink sink_name=other && pactl set-default-sink other",
       {"receiving", "failed: CoreAudio default output device changed"}},
  };
  for (const auto& row : rows) {
    auto server = start_server();
    ASSERT_TRUE(server);
    Captured out;
    auto helper = start_streaming(*server, out);
    ASSERT_TRUE(helper) << row.name;
    const std::string line = "export PULSE_SERVER='" + server->address() +
                             "' SERVER=" + std::to_string(server->pid()) + "; " + row.act;
    ASSERT_EQ(std::system((line + " >/dev/null").c_str()), 0) << line;
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
