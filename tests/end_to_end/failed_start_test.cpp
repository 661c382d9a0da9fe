// Starts that cannot succeed end at once with one ERROR line naming what
// failed, exit status 1, and on standard error the steps up to the failure.
#include <gtest/gtest.h>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

TEST(FailedStart, EachCauseGivesItsOneErrorLineAndStatusOne) {
  const struct {
    const char* cause;
    std::optional<PrivateAudioServer::Options> server;  // none: nothing answers
    std::vector<std::string> arguments;
    std::string out;
    std::string err;
  } rows[] = {
      {"no audio server",
       std::nullopt,
       {},
       "ERROR read default output device failed: OSStatus 1937010544 (stop)\n",
       "helper: boot\ncoreaudio: start\n"},
      {"a server without a sink",
       PrivateAudioServer::Options{.null_sink = false},
       {},
       "ERROR CoreAudio did not report a default output device\n",
       "helper: boot\ncoreaudio: start\n"},
      {"the screen-capture backend",
       PrivateAudioServer::Options{},
       {"--backend=sck"},
       "ERROR computer-audio backend sck is not built into this program\n",
       "helper: boot\n"},
  };
  for (const auto& row : rows) {
    std::unique_ptr<PrivateAudioServer> server;
    if (row.server) server = start_server(*row.server);
    const auto started = Clock::now();
    auto helper = start_helper(
        {server ? server->environment_entry() : "PULSE_SERVER=unix:/nonexistent/vantle/native"},
        row.arguments);
    ASSERT_TRUE(helper);
    EXPECT_EQ(helper->read_rest(Clock::now() + 10s), row.out) << row.cause;
    const auto end = helper->wait(2s);
    EXPECT_LT(Clock::now() - started, 2s) << row.cause;
    EXPECT_EQ(end ? end->describe() : "running", "exit status 1") << row.cause;
    EXPECT_EQ(helper->error_text(), row.err) << row.cause;
  }
}

}  // namespace
}  // namespace end_to_end
