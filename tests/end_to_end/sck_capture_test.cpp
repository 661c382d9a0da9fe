// The screen-capture backend as a parent meets it on Linux: the real helper
// with --backend=sck against a private audio server. (Its pace and protocol
// are checked where standard error is full, in full_stderr_test.cpp, its
// start steps in failed_start_test.cpp and the backend's tests.)
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>
#include <sstream>

#include "helper_under_test.h"
#include "signal_analysis.h"
#include "tone.h"

namespace end_to_end {
namespace {

// User plus system time of a running process so far, in clock ticks.
long cpu_ticks(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::vector<std::string> field{std::istream_iterator<std::string>(fields), {}};
  return field.size() > 12 ? std::stol(field[11]) + std::stol(field[12]) : -1;
}

TEST(SckCapture, StreamsAToneAtItsFrequencyAndLevelWhole) {
  auto server = start_server();
  Captured out;
  auto helper = server ? start_streaming(*server, out, {"--backend=sck"}) : nullptr;
  ASSERT_TRUE(helper);
  const auto played =
      play_while_reading(*server, parent::stereo_sine(440, 0.25, 2 * 48000, 4800), *helper, out);
  ASSERT_TRUE(played) << played.error();
  read_until(*helper, out, 1s, [] { return false; });  // the tone's tail, then silence

  // The tone: its length, level and shape, from the first to the last loud sample.
  const auto& samples = out.reader.samples();
  const auto loud = [](float s) { return std::fabs(s) >= 0.01f; };
  const auto first = std::find_if(samples.begin(), samples.end(), loud);
  const auto last = std::find_if(samples.rbegin(), samples.rend(), loud).base();
  ASSERT_LT(first, last) << "no tone in " << samples.size() << " samples";
  const std::span<const float> played_run(&*first, std::size_t(last - first));
  EXPECT_NEAR(double(played_run.size()), 2 * 16000.0, 8.0);
  EXPECT_NEAR(parent::level_of(played_run).peak_dbfs, 20 * std::log10(0.25), 0.1);
  // x[n+1] = 2 cos(w) x[n] - x[n-1] holds for a sine of 440 Hz at 16000 Hz to
  // float rounding; another pitch, or a lost, repeated or reordered buffer,
  // breaks it by about the amplitude. The server's resampler rings for a few
  // samples where the tone starts and stops.
  const double twice_cos = 2 * std::cos(2 * std::numbers::pi * 440 / 16000);
  double worst = 0;
  for (std::size_t n = 32; n + 32 < played_run.size(); ++n) {
    worst = std::max(
        worst, std::fabs(played_run[n + 1] - (twice_cos * played_run[n] - played_run[n - 1])));
  }
  EXPECT_LT(worst, 1e-5);
}

// A stream that ends under the helper is told once, within 2 s; the helper
// then idles until its parent leaves.
TEST(SckCapture, AStreamEndedUnderItIsToldOnceAndTheHelperIdlesUntilItsParentLeaves) {
  const struct {
    const char* name;
    bool server_killed;  // or only the helper's record stream
    std::string description;
  } rows[] = {{"server killed", true, "Connection terminated"},
              {"record stream killed", false, "Entity killed"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto server = start_server();
    Captured out;
    auto helper = server ? start_streaming(*server, out, {"--backend=sck"}) : nullptr;
    ASSERT_TRUE(helper);
    ASSERT_TRUE(row.server_killed ? ::kill(server->pid(), SIGKILL) == 0
                                  : server->kill_record_streams().has_value());
    const auto& statuses = out.reader.statuses();
    read_until(*helper, out, 2s, [&] { return statuses.size() > 1; });
    EXPECT_EQ(statuses,
              (std::vector<std::string>{
                  "receiving", "failed: ScreenCaptureKit stream stopped: " + row.description}));

    // Nothing more comes, and waiting for nothing costs next to no CPU.
    const auto lines = out.reader.pcm_lines();
    const long before = cpu_ticks(helper->pid());
    read_until(*helper, out, 2s, [] { return false; });
    EXPECT_EQ(out.reader.pcm_lines(), lines);
    EXPECT_EQ(statuses.size(), 2u);
    EXPECT_GE(before, 0);
    EXPECT_LE(cpu_ticks(helper->pid()) - before, 4) << "clock ticks in 2 s";  // 2 % of a core

    helper->close_output();
    const auto end = helper->wait(1s);
    EXPECT_EQ(end ? end->describe() : "running", "exit status 2");
  }
}

}  // namespace
}  // namespace end_to_end
