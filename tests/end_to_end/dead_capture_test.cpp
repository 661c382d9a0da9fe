// A capture that dies while streaming is told once, within 2 s, as a
// "failed: " status; where causes overlap (a removed sink or a lost server
// also ends the record stream) only the first is told.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

struct Row {
  const char* name;
  // A shell line that sees the server's address in PULSE_SERVER and its
  // process id in SERVER; none: the server ends the helper's record stream.
  const char* act;
  std::vector<std::string> statuses;
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

class DeadCapture : public ::testing::TestWithParam<Row> {};

TEST_P(DeadCapture, IsToldOnce) {
  const Row& row = GetParam();
  auto server = start_server();
  ASSERT_TRUE(server);
  Captured out;
  auto helper = start_streaming(*server, out);
  ASSERT_TRUE(helper);
  // The sink's monitor as a mono float tap at the sink's rate.
  EXPECT_TRUE(helper->error_text().contains(
      "\ncoreaudio: tap format rate=48000 channels=1 flags=9 bits=32\n"));
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
  // Longer than the watch takes to tell IO that stopped: no stopped capture follows.
  read_until(*helper, out, 3s, [&] { return statuses.size() > row.statuses.size(); });
  EXPECT_EQ(statuses, row.statuses);
  // Silence is carried as it is, until the capture died.
  EXPECT_TRUE(std::ranges::all_of(out.reader.samples(), [](float s) { return s == 0; }));
}

INSTANTIATE_TEST_SUITE_P(
    EachCause, DeadCapture,
    ::testing::Values(
        Row{"ServerKilled",
            "kill -KILL $SERVER",
            {"receiving", "failed: CoreAudio audio service restarted"}},
        Row{"SinkRemoved",
            "pactl unload-module module-null-sink",
            {"receiving", "failed: CoreAudio output device is gone"}},
        Row{"DefaultSinkSwitched",
            "pactl load-module module-null-sink sink_name=other && pactl set-default-sink other",
            {"receiving", "failed: CoreAudio default output device changed"}},
        Row{"RecordStreamKilled", nullptr, {"receiving", "failed: CoreAudio capture stopped"}}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace end_to_end
