// A tone played into a sink at 44.1 kHz (PulseAudio's own default; the other
// tests' servers run at 48 kHz) comes out of either backend whole, at its
// pitch and, within the 1 dB the README promises, at its level.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "helper_under_test.h"
#include "signal_analysis.h"
#include "tone.h"

namespace end_to_end {
namespace {

TEST(ToneCapture, EitherBackendStreamsAToneFromA44kHzSinkWholeAtItsPitchAndLevel) {
  const std::pair<const char*, const char*> backends[] = {
      {"--backend=coreaudio", "\ncoreaudio: tap format rate=44100 channels=1 flags=9 bits=32\n"},
      {"--backend=sck", "\nsck: source format rate=16000\n"}};  // the server converts
  for (const auto& [backend, format] : backends) {
    SCOPED_TRACE(backend);
    auto server = start_server({.sink_rate = 44100});
    Captured out;
    auto helper = server ? start_streaming(*server, out, {backend}) : nullptr;
    ASSERT_TRUE(helper);
    EXPECT_TRUE(helper->error_text().contains(format));
    const auto sound = parent::stereo_sine(440, 0.25, 2 * 48000, 4800);
    const auto played = play_while_reading(*server, sound, *helper, out);
    ASSERT_TRUE(played) << played.error();
    read_until(*helper, out, 1s, [] { return false; });  // the tone's tail, then silence

    // From the first to the last loud sample, less the edges where resamplers ring.
    const auto& samples = out.reader.samples();
    const auto loud = [](float s) { return std::fabs(s) >= 0.01f; };
    const auto first = std::find_if(samples.begin(), samples.end(), loud);
    const auto last = std::find_if(samples.rbegin(), samples.rend(), loud).base();
    ASSERT_GT(last - first, 64) << "no tone in " << samples.size() << " samples";
    EXPECT_NEAR(double(last - first), 2 * 16000.0, 8.0);
    const std::span<const float> tone(&*first + 32, std::size_t(last - first - 64));
    EXPECT_NEAR(parent::dominant_frequency(tone, 16000, 300, 600).value_or(0), 440, 0.5);
    EXPECT_NEAR(parent::level_of(tone).rms_dbfs, 20 * std::log10(0.25 / std::sqrt(2.0)), 1.0);
    // A sine obeys x[n+1] = 2 cos(w) x[n] - x[n-1], to what linear interpolation
    // from 44.1 kHz leaves; a lost, repeated or reordered buffer breaks it by
    // about the amplitude.
    const double twice_cos = 2 * std::cos(2 * std::numbers::pi * 440 / 16000);
    double worst = 0;
    for (std::size_t n = 1; n + 1 < tone.size(); ++n) {
      worst = std::max(worst, std::fabs(tone[n + 1] - (twice_cos * tone[n] - tone[n - 1])));
    }
    EXPECT_LT(worst, 2e-3);
  }
}

}  // namespace
}  // namespace end_to_end
