// Starts that cannot succeed end at once with one ERROR line naming what
// failed, and exit status 1.
#include <gtest/gtest.h>

#include <regex>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

using namespace std::chrono_literals;
using test_support::run_to_end;
using test_support::split_lines;

TEST(FailedStart, WithoutAnAudioServerTheFirstStepFailsWithinTwoSeconds) {
  const auto started = Clock::now();
  const auto run = run_to_end({VANTLE_AUDIO_HELPER_PATH}, 10s,
                              {"PULSE_SERVER=unix:/nonexistent/vantle-test/native"});
  const auto took = Clock::now() - started;

  EXPECT_EQ(run.exit_status, 1);
  // Exactly one line, naming the first step, in the OSStatus wording: the
  // status in decimal, then its four characters or the decimal again.
  std::smatch parts;
  const std::regex error_line(
      "ERROR read default output device failed: OSStatus (-?[0-9]+) \\(([^)]+)\\)\n");
  ASSERT_TRUE(std::regex_match(run.out, parts, error_line)) << run.out;
  const std::int32_t status = std::stoi(parts[1].str());
  EXPECT_NE(status, 0);
  const auto code = parts[2].str();
  if (code.size() == 4 && code != parts[1].str()) {
    const auto bits = std::uint32_t(status);
    EXPECT_EQ(code, std::string({char(bits >> 24), char(bits >> 16), char(bits >> 8), char(bits)}));
  } else {
    EXPECT_EQ(code, parts[1].str());
  }
  // The failure itself writes nothing to standard error.
  EXPECT_EQ(split_lines(run.err), (std::vector<std::string>{"helper: boot", "coreaudio: start"}));
  EXPECT_LT(took, 2s) << std::chrono::duration<double>(took).count() << " s";
}

TEST(FailedStart, AServerWithoutASinkHasNoDefaultOutputDevice) {
  auto server = start_server({.null_sink = false});
  ASSERT_TRUE(server);
  const auto run = run_to_end({VANTLE_AUDIO_HELPER_PATH}, 10s, {server->environment_entry()});
  EXPECT_EQ(run.out, "ERROR CoreAudio did not report a default output device\n");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(split_lines(run.err), (std::vector<std::string>{"helper: boot", "coreaudio: start"}));
}

TEST(FailedStart, TheScreenCaptureBackendIsNotBuiltIn) {
  // An audio server is there, so only the backend can be the reason.
  auto server = start_server();
  ASSERT_TRUE(server);
  const auto run =
      run_to_end({VANTLE_AUDIO_HELPER_PATH, "--backend=sck"}, 10s, {server->environment_entry()});
  EXPECT_EQ(run.out, "ERROR computer-audio backend sck is not built into this program\n");
  EXPECT_EQ(run.exit_status, 1);
  const auto diagnostics = split_lines(run.err);
  ASSERT_FALSE(diagnostics.empty());
  EXPECT_EQ(diagnostics.front(), "helper: boot");
  for (const auto& line : diagnostics) EXPECT_FALSE(line.starts_with("coreaudio:")) << line;
}

}  // namespace
}  // namespace end_to_end
