// Starts that cannot succeed end at once with one ERROR line naming what
// failed, and exit status 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

using namespace std::chrono_literals;
using test_support::run_to_end;
using test_support::split_lines;

TEST(FailedStart, WithoutAnAudioServerTheFirstStepFailsWithinTwoSeconds) {
  const auto started = Clock::now();
  const auto run =
      run_to_end({VANTLE_AUDIO_HELPER_PATH}, 10s,
                 helper_environment({"PULSE_SERVER=unix:/nonexistent/vantle-test/native"}));
  const auto took = Clock::now() - started;

  EXPECT_EQ(run.exit_status, 1);
  // Exactly one line, naming the first step, in the OSStatus wording: the
  // status in decimal, then its four characters or the decimal again.
  const std::string_view prefix = "ERROR read default output device failed: OSStatus ";
  ASSERT_TRUE(run.out.starts_with(prefix) && run.out.ends_with(")\n")) << run.out;
  const std::string rest = run.out.substr(prefix.size(), run.out.size() - prefix.size() - 2);
  const auto open = rest.find(" (");
  ASSERT_NE(open, std::string::npos) << run.out;
  const std::string number = rest.substr(0, open);
  const std::string code = rest.substr(open + 2);
  ASSERT_FALSE(number.empty());
  ASSERT_EQ(number.find_first_not_of("-0123456789"), std::string::npos) << run.out;
  const auto status = std::int32_t(std::stol(number));
  EXPECT_NE(status, 0);
  EXPECT_EQ(std::to_string(status), number);
  const auto bits = std::uint32_t(status);
  const std::string characters{char(bits >> 24), char(bits >> 16), char(bits >> 8), char(bits)};
  const bool printable = std::all_of(characters.begin(), characters.end(),
                                     [](char c) { return c >= 0x20 && c < 0x7F; });
  EXPECT_EQ(code, printable ? characters : number);
  // The failure itself writes nothing to standard error.
  EXPECT_EQ(split_lines(run.err), (std::vector<std::string>{"helper: boot", "coreaudio: start"}));
  EXPECT_LT(took, 2s) << std::chrono::duration<double>(took).count() << " s";
}

TEST(FailedStart, AServerWithoutASinkHasNoDefaultOutputDevice) {
  auto server = start_server({.null_sink = false});
  ASSERT_TRUE(server);
  const auto run = run_to_end({VANTLE_AUDIO_HELPER_PATH}, 10s,
                              helper_environment({server->environment_entry()}));
  EXPECT_EQ(run.out, "ERROR CoreAudio did not report a default output device\n");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(split_lines(run.err), (std::vector<std::string>{"helper: boot", "coreaudio: start"}));
}

}  // namespace
}  // namespace end_to_end
