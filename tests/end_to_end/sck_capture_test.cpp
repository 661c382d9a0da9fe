// The screen-capture backend as a parent meets it on Linux: the real helper
// with --backend=sck against a private audio server.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>

#include "helper_under_test.h"
#include "signal_analysis.h"

namespace end_to_end {
namespace {

using namespace std::chrono_literals;
using test_support::split_lines;

const std::vector<std::string> kStartSteps = {
    "sck: start",
    "sck: display id=1 size=1920x1080",
    "sck: create display filter",
    "sck: configure stream",
    "sck: set captures_audio",
    "sck: set excludes_current_process_audio",
    "sck: set sample_rate",
    "sck: set channel_count",
    "sck: set queue_depth",
    "sck: set width",
    "sck: set height",
    "sck: set minimum_frame_interval",
    "sck: create output/delegate",
    "sck: create stream",
    "sck: attach audio output",
    "sck: start capture request",
    "sck: ready",
};

// "helper: boot" and the first `steps` start steps.
std::vector<std::string> diagnostics_up_to(std::size_t steps) {
  std::vector<std::string> lines{"helper: boot"};
  lines.insert(lines.end(), kStartSteps.begin(), kStartSteps.begin() + long(steps));
  return lines;
}

// An sck helper on a private server of its own, read up to its third PCM line.
std::unique_ptr<Streaming> start_sck_streaming() {
  auto run = std::make_unique<Streaming>();
  run->server = start_server();
  if (!run->server) return nullptr;
  run->helper = start_helper(run->server->environment_entry(), {"--backend=sck"});
  Captured& out = run->out;
  if (!read_until(*run->helper, out, 15s, [&] { return out.pcm_lines() > 2; })) {
    ADD_FAILURE() << "no PCM line within 15 s; stderr:\n" << run->helper->error_text();
    return nullptr;
  }
  return run;
}

// User plus system time of a process so far, in clock ticks.
long cpu_ticks(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::vector<std::string> field{std::istream_iterator<std::string>(fields), {}};
  return field.size() > 12 ? std::stol(field[11]) + std::stol(field[12]) : -1;
}

TEST(SckCapture, StartsStepByStepAndStreamsAToneAtItsFrequencyLevelAndPace) {
  auto run = start_sck_streaming();
  ASSERT_TRUE(run);
  auto& [server, helper, out] = *run;
  {
    Playback tone(*server, test_support::stereo_sine(440, 0.25, 2 * 48000, 4800));
    ASSERT_TRUE(read_until(*helper, out, 20s, [&] { return tone.done(); }));
    ASSERT_EQ(tone.finish(), std::nullopt);
  }
  read_for(*helper, out, 2s);  // the tone's tail, then silence

  EXPECT_EQ(out.lines.front(), "READY");
  EXPECT_EQ(std::count(out.lines.begin(), out.lines.end(), "STATUS receiving"), 1);
  for (const auto& line : out.lines) {
    EXPECT_TRUE(line == "READY" || line == "STATUS receiving" || line.starts_with("PCM ")) << line;
  }
  EXPECT_EQ(out.undecodable, 0u);
  auto expected = diagnostics_up_to(kStartSteps.size());
  expected.push_back("helper: ready");
  const auto diagnostics = split_lines(helper->error_text());
  ASSERT_GE(diagnostics.size(), expected.size());
  EXPECT_EQ(std::vector(diagnostics.begin(), diagnostics.begin() + long(expected.size())),
            expected);

  // The tone: its frequency and level, from the first to the last loud sample.
  const auto loud = [](float s) { return std::fabs(s) >= 0.01f; };
  const auto first = std::find_if(out.samples.begin(), out.samples.end(), loud);
  const auto last = std::find_if(out.samples.rbegin(), out.samples.rend(), loud).base();
  ASSERT_LT(first, last) << "no tone in " << out.samples.size() << " samples";
  const std::span<const float> played(&*first, std::size_t(last - first));
  EXPECT_NEAR(double(played.size()), 2 * 16000.0, 4.0);
  const auto frequency = parent::dominant_frequency(played, 16000, 50, 4000);
  ASSERT_TRUE(frequency);
  EXPECT_NEAR(*frequency, 440, 0.5);
  EXPECT_NEAR(parent::level_of(played).peak_dbfs, 20 * std::log10(0.25), 0.05);
  // x[n+1] = 2 cos(w) x[n] - x[n-1] holds for a sine to float rounding; a lost,
  // repeated or reordered buffer breaks it by about the amplitude. The
  // server's resampler rings for a few samples where the tone starts and stops.
  const double twice_cos = 2 * std::cos(2 * std::numbers::pi * 440 / 16000);
  double worst = 0;
  for (std::size_t n = 32; n + 32 < played.size(); ++n) {
    worst = std::max(worst, std::fabs(played[n + 1] - (twice_cos * played[n] - played[n - 1])));
  }
  EXPECT_LT(worst, 1e-5);

  // Real time: samples after the first chunk against the time to the last.
  const double span =
      std::chrono::duration<double>(out.chunk_read_at.back() - out.chunk_read_at.front()).count();
  const double samples = double(out.chunk_ends.back() - out.chunk_ends.front());
  EXPECT_NEAR(samples / span, 16000.0, 16000.0 * 0.02) << samples << " samples in " << span << " s";
}

TEST(SckCapture, AServerKilledMidStreamStopsItOnceAndTheHelperIdlesUntilItsParentLeaves) {
  auto run = start_sck_streaming();
  ASSERT_TRUE(run);
  auto& [server, helper, out] = *run;
  ASSERT_EQ(::kill(server->pid(), SIGKILL), 0);
  ASSERT_TRUE(read_until(*helper, out, 5s, [&] {
    return out.lines.back().starts_with("STATUS f");
  })) << helper->error_text();
  EXPECT_EQ(out.lines.back(),
            "STATUS failed: ScreenCaptureKit stream stopped: Connection terminated");

  // Nothing more comes, and waiting for nothing costs next to no CPU.
  const auto lines = out.lines.size();
  const long before = cpu_ticks(helper->pid());
  read_for(*helper, out, 2s);
  const long spent = cpu_ticks(helper->pid()) - before;
  EXPECT_EQ(out.lines.size(), lines);
  EXPECT_GE(before, 0);
  EXPECT_LE(spent, 4) << "clock ticks in 2 s";  // at most 2 % of a core
  EXPECT_EQ(helper->wait_exit(10ms), std::nullopt) << "the helper ended by itself";

  helper->close_output();
  EXPECT_NE(helper->wait_exit(1s), std::nullopt) << "still running after its output was closed";
}

enum class Server { none, frozen, without_sink };

struct FailedStart {
  const char* name;
  Server server;
  std::string error_line;
  std::size_t steps;  // start steps written before the failure
};

class SckFailedStart : public testing::TestWithParam<FailedStart> {};

TEST_P(SckFailedStart, IsOneErrorLineAndExitStatusOneWithinTwoAndAHalfSeconds) {
  const FailedStart& row = GetParam();
  std::unique_ptr<test_support::PrivateAudioServer> server;
  std::string address = "PULSE_SERVER=unix:/nonexistent/vantle-test/native";
  if (row.server != Server::none) {
    server = start_server({.null_sink = row.server != Server::without_sink});
    ASSERT_TRUE(server);
    address = server->environment_entry();
    if (row.server == Server::frozen) server->freeze();
  }
  const auto started = Clock::now();
  const auto run = test_support::run_to_end({VANTLE_AUDIO_HELPER_PATH, "--backend=sck"}, 10s,
                                            helper_environment({address}));
  const auto took = Clock::now() - started;
  if (server) server->thaw();

  EXPECT_EQ(run.out, "ERROR " + row.error_line + "\n");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(split_lines(run.err), diagnostics_up_to(row.steps));
  EXPECT_LT(took, 2500ms) << std::chrono::duration<double>(took).count() << " s";
}

INSTANTIATE_TEST_SUITE_P(
    Sck, SckFailedStart,
    testing::Values(
        FailedStart{"NoServer", Server::none,
                    "ScreenCaptureKit content access failed: cannot connect to the audio server: "
                    "Connection refused",
                    1},
        FailedStart{"FrozenServer", Server::frozen,
                    "ScreenCaptureKit content access failed: the audio server did not answer in "
                    "time",
                    1},
        FailedStart{"ServerWithoutSink", Server::without_sink,
                    "ScreenCaptureKit audio capture failed to start: the audio server has no "
                    "default sink",
                    16}),
    [](const testing::TestParamInfo<FailedStart>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace end_to_end
