// What a successful start looks like to the parent: the diagnostics of every
// step in order on standard error, then READY, "receiving" and PCM lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

using namespace std::chrono_literals;
using test_support::split_lines;

// The id in a line made of prefix and a nonzero decimal id.
std::optional<std::string> object_id(std::string_view line, std::string_view prefix) {
  if (!line.starts_with(prefix)) return std::nullopt;
  const auto id = line.substr(prefix.size());
  if (id.empty() || id[0] == '0' || id.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return std::string(id);
}

TEST(StartupSequence, DiagnosticsOfEveryStepThenReadyThenAudio) {
  auto server = start_server();
  ASSERT_TRUE(server);
  auto helper = start_helper(server->environment_entry());
  Captured out;
  // Until a few chunks and the status have come (the first audio can take a
  // second or two to leave an idle server).
  const bool flowing = read_until(*helper, out, 15s, [&] {
    return out.pcm_lines() >= 3 &&
           std::count(out.lines.begin(), out.lines.end(), "STATUS receiving") == 1;
  });
  ASSERT_TRUE(flowing) << "stdout: " << testing::PrintToString(out.lines) << "\nstderr:\n"
                       << helper->error_text();

  EXPECT_EQ(out.lines.front(), "READY");
  EXPECT_EQ(std::count(out.lines.begin(), out.lines.end(), "READY"), 1);
  for (const auto& line : out.lines) {
    EXPECT_TRUE(line == "READY" || line == "STATUS receiving" || line.starts_with("PCM ")) << line;
  }
  EXPECT_EQ(out.undecodable, 0u);

  const auto diagnostics = split_lines(helper->error_text());
  ASSERT_GE(diagnostics.size(), 12u) << helper->error_text();
  const std::vector<std::string> start_steps(diagnostics.begin(), diagnostics.begin() + 10);
  const auto tap = object_id(start_steps[3], "coreaudio: process tap created id=");
  const auto aggregate = object_id(start_steps[6], "coreaudio: aggregate created id=");
  ASSERT_TRUE(tap) << start_steps[3];
  ASSERT_TRUE(aggregate) << start_steps[6];
  EXPECT_NE(*tap, *aggregate);
  // The sink is float32 stereo at 48 kHz; the tap mixes it down to mono, and
  // the flags are float | packed.
  EXPECT_EQ(start_steps, (std::vector<std::string>{
                             "helper: boot",
                             "coreaudio: start",
                             "coreaudio: tap description created",
                             start_steps[3],
                             "coreaudio: tap format rate=48000 channels=1 flags=9 bits=32",
                             "coreaudio: aggregate description ready",
                             start_steps[6],
                             "coreaudio: io proc created",
                             "coreaudio: device started",
                             "helper: ready",
                         }));

  // After the start only the status and the progress of the pump; the first
  // progress line counts the first chunk's own bytes.
  const std::vector<std::string> running(diagnostics.begin() + 10, diagnostics.end());
  EXPECT_EQ(std::count(running.begin(), running.end(), "helper: status receiving"), 1);
  const std::string first_progress =
      "helper: pcm frames=1 bytes=" + std::to_string(4 * out.chunk_ends.front());
  EXPECT_EQ(std::count(running.begin(), running.end(), first_progress), 1) << helper->error_text();
  for (const auto& line : running) {
    EXPECT_TRUE(line == "helper: status receiving" || line.starts_with("helper: pcm frames="))
        << line;
  }
}

}  // namespace
}  // namespace end_to_end
