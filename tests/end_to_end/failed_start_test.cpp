// Starts that cannot succeed end at once with one ERROR line naming what
// failed, exit status 1, and on standard error the steps up to the failure.
#include <gtest/gtest.h>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

TEST(FailedStart, EachCauseGivesItsOneErrorLineAndStatusOne) {
  const PrivateAudioServer::Options sinkless{.null_sink = false};
  const std::vector<std::string> coreaudio{"helper: boot", "coreaudio: start"};
  // The server's own reason comes before the start fails.
  auto refused = coreaudio, timed_out = coreaudio;
  refused.push_back("coreaudio: audio server: Connection refused");
  timed_out.push_back("coreaudio: audio server: Timeout");
  const struct {
    std::optional<PrivateAudioServer::Options> server;  // none: nothing answers
    bool frozen;
    const char* argument;
    std::string out;
    std::vector<std::string> err;
    std::chrono::milliseconds within = 2500ms;
  } rows[] = {
      {std::nullopt, false, "", "read default output device failed: OSStatus 1937010544 (stop)",
       refused},
      // The HAL's wait for a server is 2 s, the content request's 1.5 s.
      {PrivateAudioServer::Options{}, true, "",
       "read default output device failed: OSStatus 1937010544 (stop)", timed_out, 3500ms},
      {sinkless, false, "", "CoreAudio did not report a default output device", coreaudio},
      {std::nullopt, false, "--backend=sck",
       "ScreenCaptureKit content access failed: cannot connect to the audio server: Connection "
       "refused",
       sck_diagnostics(1)},
      {PrivateAudioServer::Options{}, true, "--backend=sck",
       "ScreenCaptureKit content access failed: the audio server did not answer in time",
       sck_diagnostics(1)},
      {sinkless, false, "--backend=sck",
       "ScreenCaptureKit audio capture failed to start: the audio server has no default sink",
       sck_diagnostics(16)},
  };
  for (const auto& row : rows) {
    auto server = row.server ? start_server(*row.server) : nullptr;
    if (row.frozen) server->freeze();
    const auto started = Clock::now();
    auto helper = start_helper(
        server ? server->environment_entry() : "PULSE_SERVER=unix:/nonexistent/vantle/native",
        {row.argument});
    EXPECT_EQ(helper->read_rest(Clock::now() + 10s), "ERROR " + row.out + "\n");
    const auto end = helper->wait(row.within);
    EXPECT_LT(Clock::now() - started, row.within) << row.out;
    if (row.frozen) server->thaw();
    EXPECT_EQ(end ? end->describe() : "running", "exit status 1") << row.out;
    EXPECT_EQ(split_lines(helper->error_text()), row.err) << row.out;
  }
}

}  // namespace
}  // namespace end_to_end
