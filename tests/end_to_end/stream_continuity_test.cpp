// A successful start as the parent sees it: the diagnostics of every step, then
// READY, "receiving" and a stream that keeps pace with the clock, 16000 samples
// a second, also in silence, with no stall, and its progress lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

double seconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

TEST(StreamContinuity, StartStepsThenSixteenThousandSamplesASecondOfSilence) {
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
  ASSERT_GE(ends.size(), 400u);
  const std::string progress =
      "(helper: status receiving\n)?helper: pcm frames=1 bytes=" + std::to_string(4 * ends[0]) +
      "\n(helper: status receiving\n)?" +
      "helper: pcm frames=200 bytes=" + std::to_string(4 * ends[199]) +
      "\nhelper: pcm frames=400 bytes=" + std::to_string(4 * ends[399]);
  const std::regex diagnostics(
      "helper: boot\ncoreaudio: start\ncoreaudio: tap description created\n"
      "coreaudio: process tap created id=[1-9][0-9]*\n"
      "coreaudio: tap format rate=48000 channels=1 flags=9 bits=32\n"
      "coreaudio: aggregate description ready\ncoreaudio: aggregate created id=[1-9][0-9]*\n"
      "coreaudio: io proc created\ncoreaudio: device started\nhelper: ready\n" +
      progress + "\n(helper: pcm frames=[0-9]+ bytes=[0-9]+\n)*");
  EXPECT_TRUE(std::regex_match(helper->error_text(), diagnostics)) << helper->error_text();

  // Samples after the first chunk over the time to the last, and the longest
  // pause between two chunks (about 10 ms apart).
  double longest = 0;
  for (std::size_t i = 1; i < ends.size(); ++i) {
    longest = std::max(longest, seconds(out.chunk_read_at[i] - out.chunk_read_at[i - 1]));
  }
  EXPECT_NEAR(double(ends.back() - ends.front()) /
                  seconds(out.chunk_read_at.back() - out.chunk_read_at.front()),
              16000.0, 16000.0 * 0.02);
  EXPECT_LT(longest, 1.0);
  // Silence is carried, not skipped.
  const auto& samples = reader.samples();
  EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](float s) { return s == 0; }));
}

}  // namespace
}  // namespace end_to_end
