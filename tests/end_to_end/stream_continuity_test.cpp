// A successful start as the parent sees it: the diagnostics of every step, then
// READY, "receiving" and a stream of silence with its progress lines. (Its pace
// is checked where standard error is full, in full_stderr_test.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

std::size_t lines_in(const std::string& text) {
  return std::size_t(std::count(text.begin(), text.end(), '\n'));
}

TEST(StreamContinuity, StartStepsThenReceivingAndSilenceWithItsProgressLines) {
  auto server = start_server();
  Captured out;
  auto helper = server ? start_streaming(*server, out) : nullptr;
  ASSERT_TRUE(helper);
  read_until(*helper, out, 4500ms, [] { return false; });
  const auto& reader = out.reader;
  EXPECT_TRUE(reader.ready() && !reader.ready_out_of_place() && !reader.error());
  EXPECT_EQ(reader.statuses(), std::vector<std::string>{"receiving"});
  EXPECT_EQ(reader.bad_lines(), 0u);

  // The sink is float32 stereo at 48 kHz, mixed down to mono by the tap (flags:
  // float | packed). After the start, only the status and the pump's progress
  // for chunks 1, 200 and 400, each counting the bytes up to its chunk.
  const auto& ends = reader.chunk_ends();
  ASSERT_LT(ends.size(), 600u);  // a fourth progress line would be due
  ASSERT_GE(ends.size(), 400u);
  std::vector<std::string> err;
  std::istringstream text(helper->error_text());
  for (std::string line; std::getline(text, line);) {
    const auto id = line.find(" id=");  // object ids: any nonzero decimal
    const bool numbered = id != std::string::npos && line[id + 4] != '0' &&
                          line.find_first_not_of("0123456789", id + 4) == std::string::npos;
    if (line != "helper: status receiving") err.push_back(numbered ? line.substr(0, id) : line);
  }
  EXPECT_EQ(err, (std::vector<std::string>{
                     "helper: boot", "coreaudio: start", "coreaudio: tap description created",
                     "coreaudio: process tap created",
                     "coreaudio: tap format rate=48000 channels=1 flags=9 bits=32",
                     "coreaudio: aggregate description ready", "coreaudio: aggregate created",
                     "coreaudio: io proc created", "coreaudio: device started", "helper: ready",
                     "helper: pcm frames=1 bytes=" + std::to_string(4 * ends[0]),
                     "helper: pcm frames=200 bytes=" + std::to_string(4 * ends[199]),
                     "helper: pcm frames=400 bytes=" + std::to_string(4 * ends[399])}));
  EXPECT_EQ(err.size() + 1, lines_in(helper->error_text())) << "one status line";

  // Silence is carried, not skipped.
  const auto& samples = reader.samples();
  EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](float s) { return s == 0; }));
}

}  // namespace
}  // namespace end_to_end
