// Tones through the capture callback: the speech band passes at its level and
// everything from 9 kHz up is gone, instead of folding back below 8 kHz.
#include <cmath>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "capture_harness.h"

namespace system_audio {
namespace {

constexpr double kAmplitude = 0.5;
constexpr std::size_t kSkipped = 160;  // 10 ms of output: the tone's onset
constexpr std::size_t kMeasured = 16000;

// One second of output from a tone played in 512-frame callbacks.
Samples captured(double rate, double hz) {
  TapHarness tap(rate);
  Samples out;
  Samples block(512);
  for (std::size_t n = 0; out.size() < kSkipped + kMeasured;) {
    for (auto& sample : block) {
      sample = static_cast<float>(kAmplitude * std::sin(2.0 * std::numbers::pi * hz * n++ / rate));
    }
    tap.callback(1, block);
    for (const auto& chunk : drain(tap.pcm_rx)) {
      const Samples part = samples_of(chunk);
      out.insert(out.end(), part.begin(), part.end());
    }
  }
  return Samples(out.begin() + kSkipped, out.begin() + kSkipped + kMeasured);
}

// Below 8 kHz: the level of the tone's own frequency in the output. Above:
// the level of everything in the output (the tone folds to another frequency).
double level_db(const Samples& out, double hz) {
  double in_phase = 0.0, quadrature = 0.0, power = 0.0;
  for (std::size_t n = 0; n < out.size(); ++n) {
    const double w = 2.0 * std::numbers::pi * hz * static_cast<double>(n) / 16000.0;
    in_phase += out[n] * std::sin(w);
    quadrature += out[n] * std::cos(w);
    power += static_cast<double>(out[n]) * out[n];
  }
  const double size = static_cast<double>(out.size());
  const double level =
      hz < 8000.0 ? 2.0 * std::hypot(in_phase, quadrature) / size : std::sqrt(2.0 * power / size);
  return 20.0 * std::log10(level / kAmplitude);
}

struct ToneCase {
  double rate, hz, lowest_db, highest_db;
};

constexpr double kNone = -400.0;
const ToneCase kToneCases[] = {
    {44100, 50, -1, 1},
    {44100, 1000, -1, 1},
    {44100, 4000, -1, 1},
    {44100, 6500, -1, 1},
    {44100, 9000, kNone, -70},
    {44100, 12000, kNone, -70},
    {44100, 22000, kNone, -70},
    {48000, 50, -1, 1},
    {48000, 3000, -1, 1},
    {48000, 6500, -1, 1},
    {48000, 9000, kNone, -70},
    {48000, 12000, kNone, -70},
    {48000, 16000, kNone, -70},
    {48000, 23990, kNone, -70},
    {96000, 50, -1, 1},
    {96000, 5000, -1, 1},
    {96000, 6500, -1, 1},
    {96000, 9000, kNone, -70},
    {96000, 32000, kNone, -70},
    {96000, 47990, kNone, -70},
    // Other rates get a filter of their own.
    {22050, 1000, -1, 1},
    {22050, 10000, kNone, -70},
    {32000, 6500, -1, 1},
    {32000, 12000, kNone, -70},
    {192000, 6500, -1, 1},
    {192000, 40000, kNone, -70},
    {17000, 1000, -1, 1},
};

TEST(ToneLevels, SpeechBandPassesAndEverythingFrom9kHzIsGone) {
  for (const auto& c : kToneCases) {
    const double level = level_db(captured(c.rate, c.hz), c.hz);
    EXPECT_GE(level, c.lowest_db) << c.rate << " Hz source, " << c.hz << " Hz tone";
    EXPECT_LE(level, c.highest_db) << c.rate << " Hz source, " << c.hz << " Hz tone";
  }
}

}  // namespace
}  // namespace system_audio
