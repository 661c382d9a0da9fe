// The screen-capture backend as a parent meets it on Linux: the real helper
// with --backend=sck against a private audio server. (Its pace and protocol
// are checked where standard error is full, in full_stderr_test.cpp, its tone
// in tone_capture_test.cpp, its start steps in failed_start_test.cpp.)
#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "helper_under_test.h"

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

// A stream that ends under the helper is told once, within 2 s; the helper
// then idles.
TEST(SckCapture, AStreamEndedUnderItIsToldOnceAndTheHelperIdles) {
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
  }
}

}  // namespace
}  // namespace end_to_end
