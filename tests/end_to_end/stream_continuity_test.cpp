// The stream keeps pace with the clock: 16000 samples a second, also in
// silence, with no stall.
#include <gtest/gtest.h>

#include <algorithm>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

using namespace std::chrono_literals;

double seconds_between(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

TEST(StreamContinuity, SixteenThousandSamplesASecondInSilence) {
  auto run = start_streaming();
  ASSERT_TRUE(run);
  auto& [server, helper, out] = *run;
  read_for(*helper, out, 8s);
  ASSERT_GT(out.pcm_lines(), 100u);
  EXPECT_EQ(out.undecodable, 0u);

  // Samples after the first chunk against the time from its arrival to the
  // last one's: any lost or repeated chunk shows as a 1 % error per 80 ms.
  const double span = seconds_between(out.chunk_read_at.front(), out.chunk_read_at.back());
  const double samples = double(out.chunk_ends.back() - out.chunk_ends.front());
  EXPECT_NEAR(samples / span, 16000.0, 16000.0 * 0.02) << samples << " samples in " << span << " s";

  // The same rate as a least-squares slope of samples over arrival time, which
  // a late first or last line cannot tilt much.
  double mean_t = 0, mean_n = 0;
  const std::size_t count = out.pcm_lines();
  std::vector<double> t(count);
  for (std::size_t i = 0; i < count; ++i) {
    t[i] = seconds_between(out.chunk_read_at.front(), out.chunk_read_at[i]);
    mean_t += t[i] / double(count);
    mean_n += double(out.chunk_ends[i]) / double(count);
  }
  double covariance = 0, variance = 0;
  for (std::size_t i = 0; i < count; ++i) {
    covariance += (t[i] - mean_t) * (double(out.chunk_ends[i]) - mean_n);
    variance += (t[i] - mean_t) * (t[i] - mean_t);
  }
  EXPECT_NEAR(covariance / variance, 16000.0, 16000.0 * 0.02);

  // Silence is carried, not skipped: the stream is all zeros and never pauses
  // for long (chunks are about 10 ms apart).
  EXPECT_TRUE(std::all_of(out.samples.begin(), out.samples.end(), [](float s) { return s == 0; }));
  double longest = 0;
  for (std::size_t i = 1; i < count; ++i) {
    longest = std::max(longest, seconds_between(out.chunk_read_at[i - 1], out.chunk_read_at[i]));
  }
  EXPECT_LT(longest, 1.0);
}

}  // namespace
}  // namespace end_to_end
