// With a 48 kHz sink, what the parent decodes must be exactly what the
// conversion path (mixdown, low pass, resampler) makes of the played sound,
// bit for bit, so a lost, repeated or altered sample shows. The sound is made
// of distinct nonzero values with both channels equal; where it falls against
// the resampler's every third sample is not known, so all three ways are tried.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "helper_under_test.h"
#include "system_audio/conversion/low_pass_filter.h"
#include "system_audio/conversion/mono_mixdown.h"

namespace end_to_end {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kFrames = 3 * 48000;
constexpr std::size_t kLeadIn = 4800;  // 100 ms: the monitor may drop a stream's first ms

// A full-period linear congruential sequence modulo 2^20 gives 2^20 distinct
// values; mapped to odd multiples of 2^-22 they are exact floats in
// (-0.25, 0.25) and never zero, so silence cannot be taken for them.
std::vector<float> distinct_values(std::size_t count) {
  std::vector<float> values(count);
  std::uint32_t x = 12345;
  for (auto& value : values) {
    x = (x * 1103515245u + 12345u) & 0xFFFFFu;
    value = float(2 * std::int32_t(x) - (1 << 20) + 1) / float(1 << 22);
  }
  return values;
}

// The run from the first to the last nonzero sample.
std::vector<float> played_run(const std::vector<float>& samples) {
  const auto nonzero = [](float sample) { return sample != 0.0f; };
  const auto first = std::find_if(samples.begin(), samples.end(), nonzero);
  const auto last = std::find_if(samples.rbegin(), samples.rend(), nonzero).base();
  return first < last ? std::vector<float>(first, last) : std::vector<float>{};
}

// The conversion path's own functions on the stereo sound, after `offset`
// silent frames.
std::vector<float> converted(std::vector<float> stereo, std::size_t offset) {
  stereo.insert(stereo.begin(), 2 * offset, 0.0f);
  AudioBufferList list{1, {{2, std::uint32_t(stereo.size() * sizeof(float)), stereo.data()}}};
  auto mono = *system_audio::copy_mono_f32_input(list);
  system_audio::LowPassFilter filter(48000.0);
  system_audio::LinearResampler resampler(48000.0);
  system_audio::low_pass(filter, resampler, mono);
  return played_run(resampler.process(mono));
}

TEST(BitExactCapture, EveryDecodedSampleIsWhatTheConversionMakesOfThePlayedSound) {
  const auto mono = distinct_values(kFrames);
  std::vector<float> stereo((kLeadIn + kFrames + kLeadIn) * 2, 0.0f);
  for (std::size_t i = 0; i < kFrames; ++i) {
    stereo[2 * (kLeadIn + i)] = mono[i];
    stereo[2 * (kLeadIn + i) + 1] = mono[i];
  }

  auto run = start_streaming();
  ASSERT_TRUE(run);
  auto& [server, helper, out] = *run;
  Playback sound(*server, stereo);
  ASSERT_TRUE(read_until(*helper, out, 20s, [&] { return sound.done(); }));
  ASSERT_EQ(sound.finish(), std::nullopt);
  read_for(*helper, out, 300ms);
  ASSERT_EQ(out.undecodable, 0u);

  const auto decoded = played_run(out.samples);
  ASSERT_FALSE(decoded.empty()) << "nothing of the sound came out";
  std::size_t fewest_differences = SIZE_MAX;
  for (std::size_t offset = 0; offset < 3; ++offset) {
    const auto expected = converted(stereo, offset);
    std::size_t differences = expected.size() > decoded.size() ? expected.size() - decoded.size()
                                                               : decoded.size() - expected.size();
    for (std::size_t n = 0; n < std::min(expected.size(), decoded.size()); ++n) {
      differences +=
          std::bit_cast<std::uint32_t>(expected[n]) != std::bit_cast<std::uint32_t>(decoded[n]);
    }
    fewest_differences = std::min(fewest_differences, differences);
  }
  EXPECT_EQ(fewest_differences, 0u) << "of " << decoded.size() << " decoded samples";
}

}  // namespace
}  // namespace end_to_end
