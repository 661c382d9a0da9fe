// A capture that dies while streaming is told once, within 2 s, as a
// "failed: " status; where causes overlap (a removed sink or a lost server
// also ends the record stream) only the first is told. The helper then idles,
// at next to no CPU, until its parent ends it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

struct Row {
  const char* name;
  const char* backend;
  // A shell line that sees the server's address in PULSE_SERVER and its
  // process id in SERVER; none: the server ends the helper's record stream.
  const char* act;
  std::vector<std::string> statuses;
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

// User plus system time of a running process so far, in clock ticks.
long cpu_ticks(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::vector<std::string> field{std::istream_iterator<std::string>(fields), {}};
  return field.size() > 12 ? std::stol(field[11]) + std::stol(field[12]) : -1;
}

class DeadCapture : public ::testing::TestWithParam<Row> {};

TEST_P(DeadCapture, IsToldOnceAndTheHelperIdles) {
  const Row& row = GetParam();
  auto server = start_server();
  ASSERT_TRUE(server);
  Captured out;
  auto helper = start_streaming(*server, out, {row.backend});
  ASSERT_TRUE(helper);
  const auto acted = Clock::now();
  if (row.act == nullptr) {
    ASSERT_TRUE(server->kill_record_streams());
  } else {
    const std::string line = "export PULSE_SERVER='" + server->address() +
                             "' SERVER=" + std::to_string(server->pid()) + "; " + row.act;
    ASSERT_EQ(std::system((line + " >/dev/null").c_str()), 0) << line;
  }
  const auto& statuses = out.reader.statuses();
  read_until(*helper, out, 2s, [&] { return statuses.size() >= row.statuses.size(); });
  EXPECT_LE(Clock::now() - acted, 2s);
  // Longer than the watch takes to tell IO that stopped: no stopped capture
  // follows, nothing else comes, and waiting costs next to no CPU.
  const long before = cpu_ticks(helper->pid());
  read_until(*helper, out, 3s, [&] { return statuses.size() > row.statuses.size(); });
  EXPECT_LE(cpu_ticks(helper->pid()) - before, 30) << "clock ticks in 3 s";  // 10 % of a core
  EXPECT_EQ(statuses, row.statuses);
  // Silence is carried as it is, until the capture died.
  EXPECT_TRUE(std::ranges::all_of(out.reader.samples(), [](float s) { return s == 0; }));
}

const std::string kSckStopped = "failed: ScreenCaptureKit stream stopped: ";

INSTANTIATE_TEST_SUITE_P(
    EachCause, DeadCapture,
    ::testing::Values(
        Row{"ServerKilled",
            "--backend=coreaudio",
            "kill -KILL $SERVER",
            {"receiving", "failed: CoreAudio audio service restarted"}},
        Row{"SinkRemoved",
            "--backend=coreaudio",
            "pactl unload-module module-null-sink",
            {"receiving", "failed: CoreAudio output device is gone"}},
        Row{"DefaultSinkSwitched",
            "--backend=coreaudio",
            "pactl load-module module-null-sink sink_name=other && pactl set-default-sink other",
            {"receiving", "failed: CoreAudio default output device changed"}},
        Row{"RecordStreamKilled",
            "--backend=coreaudio",
            nullptr,
            {"receiving", "failed: CoreAudio capture stopped"}},
        Row{"SckServerKilled",
            "--backend=sck",
            "kill -KILL $SERVER",
            {"receiving", kSckStopped + "Connection terminated"}},
        Row{"SckRecordStreamKilled",
            "--backend=sck",
            nullptr,
            {"receiving", kSckStopped + "Entity killed"}}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace end_to_end
