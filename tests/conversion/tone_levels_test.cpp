// Tones through the capture pipeline: the speech band passes at its level and
// everything from 9 kHz up is gone, instead of folding back below 8 kHz.
#include <cmath>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "conversion_support.h"

namespace system_audio {
namespace {

constexpr double kAmplitude = 0.5;
constexpr std::size_t kSkipped = 160;  // 10 ms of output: the tone's onset
constexpr std::size_t kMeasured = 16000;

// One second of output from a tone played in 512-frame blocks.
Samples captured(double rate, double hz) {
  Capture tap(rate);
  Samples out;
  Samples block(512);
  for (std::size_t n = 0; out.size() < kSkipped + kMeasured;) {
    for (auto& sample : block) {
      sample = static_cast<float>(kAmplitude * std::sin(2.0 * std::numbers::pi * hz * n++ / rate));
    }
    process_input_buffers(*tap.state, BufferList({{1, block}}).list(), rate);
    const Samples part = tap.samples();
    out.insert(out.end(), part.begin(), part.end());
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

// Per source rate: tones that pass within 1 dB of their level, and tones that are gone.
const struct {
  double rate;
  std::vector<double> passed, gone;
} kRates[] = {
    {44100, {50, 1000, 4000, 6500}, {9000, 12000, 22000}},
    {48000, {50, 3000, 6500}, {9000, 12000, 16000, 23990}},
    {96000, {50, 5000, 6500}, {9000, 32000, 47990}},
    // Other rates get a filter of their own.
    {22050, {1000}, {10000}},
    {192000, {6500}, {40000}},
    {17000, {1000}, {}},
};

TEST(ToneLevels, SpeechBandPassesAndEverythingFrom9kHzIsGone) {
  for (const auto& r : kRates) {
    for (double hz : r.passed) {
      EXPECT_NEAR(level_db(captured(r.rate, hz), hz), 0, 1) << r.rate << " Hz source, " << hz;
    }
    for (double hz : r.gone) {
      EXPECT_LE(level_db(captured(r.rate, hz), hz), -70) << r.rate << " Hz source, " << hz;
    }
  }
}

}  // namespace
}  // namespace system_audio
