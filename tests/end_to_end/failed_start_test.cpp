// Starts that cannot succeed end at once with one ERROR line naming what
// failed, exit status 1, and on standard error the steps up to the failure.
#include <gtest/gtest.h>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

TEST(FailedStart, EachCauseGivesItsOneErrorLineAndStatusOne) {
  const struct {
    std::optional<PrivateAudioServer::Options> server;  // none: nothing answers
    const char* argument;
    std::string out, err;
  } rows[] = {
      {std::nullopt, "", "read default output device failed: OSStatus 1937010544 (stop)",
       "helper: boot\ncoreaudio: start\ncoreaudio: audio server: Connection refused\n"},
      {PrivateAudioServer::Options{.null_sink = false}, "",
       "CoreAudio did not report a default output device", "helper: boot\ncoreaudio: start\n"},
  };
  for (const auto& row : rows) {
    auto server = row.server ? start_server(*row.server) : nullptr;
    const auto started = Clock::now();
    auto helper = start_helper(
        server ? server->environment_entry() : "PULSE_SERVER=unix:/nonexistent/vantle/native",
        {row.argument});
    EXPECT_EQ(helper->read_rest(Clock::now() + 10s), "ERROR " + row.out + "\n");
    const auto end = helper->wait(2s);
    EXPECT_LT(Clock::now() - started, 2s) << row.out;
    EXPECT_EQ(end ? end->describe() : "running", "exit status 1") << row.out;
    EXPECT_EQ(helper->error_text(), row.err) << row.out;
  }
}

}  // namespace
}  // namespace end_to_end
