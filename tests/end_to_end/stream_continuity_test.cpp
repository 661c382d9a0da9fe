// A successful start as the parent sees it: the diagnostics of every step, then
// READY, "receiving" and a stream that keeps pace with the clock, 16000 samples
// a second, also in silence, with no stall.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

double seconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

TEST(StreamContinuity, StartStepsThenSixteenThousandSamplesASecondOfSilence) {
  Streaming run;
  ASSERT_TRUE(run.started());
  auto& [server, helper, out] = run;
  read_until(*helper, out, 4s, [] { return false; });
  const auto& reader = out.reader;
  EXPECT_TRUE(reader.ready() && !reader.ready_out_of_place());
  EXPECT_EQ(reader.statuses(), std::vector<std::string>{"receiving"});
  EXPECT_EQ(reader.bad_lines(), 0u);
  EXPECT_FALSE(reader.error());

  // The sink is float32 stereo at 48 kHz; the tap mixes it down to mono (flags:
  // float | packed). After the start only the status and the pump's progress,
  // the first counting the first chunk's own bytes.
  std::istringstream err(helper->error_text());
  std::vector<std::string> lines;
  for (std::string line; std::getline(err, line);) lines.push_back(line);
  const std::regex start_steps(
      "helper: boot\ncoreaudio: start\ncoreaudio: tap description created\n"
      "coreaudio: process tap created id=[1-9][0-9]*\n"
      "coreaudio: tap format rate=48000 channels=1 flags=9 bits=32\n"
      "coreaudio: aggregate description ready\ncoreaudio: aggregate created id=[1-9][0-9]*\n"
      "coreaudio: io proc created\ncoreaudio: device started\nhelper: ready\n");
  ASSERT_GE(lines.size(), 12u);
  std::string start;
  for (std::size_t i = 0; i < 10; ++i) start += lines[i] + "\n";
  EXPECT_TRUE(std::regex_match(start, start_steps)) << start;
  const std::vector<std::string> running(lines.begin() + 10, lines.end());
  EXPECT_EQ(std::count(running.begin(), running.end(), "helper: status receiving"), 1);
  EXPECT_EQ(running[running[0] == "helper: status receiving"],
            "helper: pcm frames=1 bytes=" + std::to_string(4 * reader.chunk_ends().front()));
  for (const auto& line : running) {
    EXPECT_TRUE(line == "helper: status receiving" || line.starts_with("helper: pcm frames="))
        << line;
  }

  // Samples over arrival time as a least-squares slope, which a late first or
  // last line cannot tilt much: a lost or repeated chunk moves it.
  const auto& ends = reader.chunk_ends();
  const std::size_t count = ends.size();
  ASSERT_GT(count, 100u);
  double mean_t = 0, mean_n = 0, covariance = 0, variance = 0, longest = 0;
  std::vector<double> t(count);
  for (std::size_t i = 0; i < count; ++i) {
    t[i] = seconds(out.chunk_read_at[i] - out.chunk_read_at[0]);
    mean_t += t[i] / double(count);
    mean_n += double(ends[i]) / double(count);
    if (i > 0) longest = std::max(longest, t[i] - t[i - 1]);
  }
  for (std::size_t i = 0; i < count; ++i) {
    covariance += (t[i] - mean_t) * (double(ends[i]) - mean_n);
    variance += (t[i] - mean_t) * (t[i] - mean_t);
  }
  EXPECT_NEAR(covariance / variance, 16000.0, 16000.0 * 0.02);
  // Silence is carried, not skipped: all zeros, never a long pause.
  const auto& samples = reader.samples();
  EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](float s) { return s == 0; }));
  EXPECT_LT(longest, 1.0);
}

}  // namespace
}  // namespace end_to_end
