// A tone played into the sink comes out of the helper at 16000 Hz with its
// frequency, its level and its phase intact.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "helper_under_test.h"
#include "signal_analysis.h"
#include "system_audio/conversion/low_pass_design.h"

namespace end_to_end {
namespace {

using namespace std::chrono_literals;

constexpr double kOutputRate = 16000;
constexpr double kFrequency = 440;
constexpr double kAmplitude = 0.25;  // -12.04 dBFS peak, -15.05 dBFS RMS
constexpr std::size_t kToneFrames = 2 * 48000;
constexpr std::size_t kLeadIn =
    4800;  // 100 ms of silence: the monitor may drop a stream's first ms

struct Span {
  std::size_t first = 0;
  std::size_t last = 0;  // inclusive
};

// Where the tone is in the decoded stream: first to last sample above a
// threshold far above silence and far below the tone.
std::optional<Span> tone_span(const std::vector<float>& samples) {
  std::optional<Span> span;
  for (std::size_t n = 0; n < samples.size(); ++n) {
    if (std::fabs(samples[n]) < 0.01f) continue;
    if (!span) span = Span{n, n};
    span->last = n;
  }
  return span;
}

TEST(CapturedTone, ComesOutAt440HzAtThePlayedLevelWithoutABreak) {
  auto run = start_streaming();
  ASSERT_TRUE(run);
  auto& [server, helper, out] = *run;

  Playback tone(*server, test_support::stereo_sine(kFrequency, kAmplitude, kToneFrames, kLeadIn));
  ASSERT_TRUE(read_until(*helper, out, 20s, [&] { return tone.done(); }));
  ASSERT_EQ(tone.finish(), std::nullopt);
  read_for(*helper, out, 300ms);  // what the server still had on its way

  const auto span = tone_span(out.samples);
  ASSERT_TRUE(span) << "no tone in " << out.samples.size() << " samples";
  const std::span<const float> played(out.samples.data() + span->first,
                                      span->last - span->first + 1);
  // Two seconds at 48 kHz are two seconds at 16 kHz (a sample or two at the
  // ends may sit below the threshold).
  EXPECT_NEAR(double(played.size()), kToneFrames / 3.0, 4.0);

  const auto frequency = parent::dominant_frequency(played, kOutputRate, 50, 4000);
  ASSERT_TRUE(frequency);
  EXPECT_NEAR(*frequency, kFrequency, 0.5);

  // The played level, times the low pass's gain at the tone.
  const double gain_db = 20 * std::log10(system_audio::low_pass_gain(
                                  system_audio::design_low_pass(48000), 48000, kFrequency));
  const auto level = parent::level_of(played);
  EXPECT_NEAR(level.peak_dbfs, 20 * std::log10(kAmplitude) + gain_db, 0.05);
  EXPECT_NEAR(level.rms_dbfs, 20 * std::log10(kAmplitude / std::numbers::sqrt2) + gain_db, 0.1);

  // Every third sample of a sine is a sine: x[n+1] = 2 cos(w) x[n] - x[n-1]
  // holds to float rounding, and a lost, repeated or misplaced chunk breaks it
  // by about the amplitude. The low pass's onset and fade at the ends are not
  // a sine yet.
  constexpr std::size_t kSettling = 24;
  const double twice_cos = 2 * std::cos(2 * std::numbers::pi * kFrequency / kOutputRate);
  double worst = 0;
  std::size_t worst_at = 0;
  for (std::size_t n = kSettling; n + kSettling < played.size(); ++n) {
    const double miss = std::fabs(played[n + 1] - (twice_cos * played[n] - played[n - 1]));
    if (miss > worst) {
      worst = miss;
      worst_at = n;
    }
  }
  EXPECT_LT(worst, 1e-5) << "at sample " << worst_at << " of the tone";
}

}  // namespace
}  // namespace end_to_end
