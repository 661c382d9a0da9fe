// With a 48 kHz sink the resampler takes every third sample, so what the
// parent decodes must be the sink's mono mixdown, every third sample, bit for
// bit. The sound is made so that this can be checked: both channels equal
// (the server's mixdown of L and L is L exactly) and every value distinct and
// exactly representable, so each decoded value names the one sample it came
// from.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "helper_under_test.h"

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

TEST(BitExactCapture, EveryDecodedSampleIsEveryThirdSampleOfTheMixdown) {
  const auto mono = distinct_values(kFrames);
  std::unordered_map<std::uint32_t, std::size_t> index_of;
  for (std::size_t i = 0; i < mono.size(); ++i) index_of[std::bit_cast<std::uint32_t>(mono[i])] = i;
  ASSERT_EQ(index_of.size(), mono.size());
  std::vector<float> stereo((kLeadIn + kFrames + kLeadIn) * 2, 0.0f);
  for (std::size_t i = 0; i < kFrames; ++i) {
    stereo[2 * (kLeadIn + i)] = mono[i];
    stereo[2 * (kLeadIn + i) + 1] = mono[i];
  }

  auto run = start_streaming();
  ASSERT_TRUE(run);
  auto& [server, helper, out] = *run;
  Playback sound(*server, std::move(stereo));
  ASSERT_TRUE(read_until(*helper, out, 20s, [&] { return sound.done(); }));
  ASSERT_EQ(sound.finish(), std::nullopt);
  read_for(*helper, out, 300ms);
  ASSERT_EQ(out.undecodable, 0u);

  // The played run in the decoded stream: from its first to its last nonzero
  // sample.
  const auto& decoded = out.samples;
  std::size_t first = decoded.size();
  std::size_t last = 0;
  for (std::size_t n = 0; n < decoded.size(); ++n) {
    if (decoded[n] == 0.0f) continue;
    first = std::min(first, n);
    last = n;
  }
  ASSERT_LT(first, decoded.size()) << "nothing of the sound came out";

  // Each decoded sample is one played sample, bit for bit, and each is the
  // third after the one before: nothing lost, repeated or altered.
  constexpr std::size_t kAny = SIZE_MAX;
  std::size_t mismatches = 0;
  std::size_t expected = kAny;
  for (std::size_t n = first; n <= last; ++n) {
    const auto found = index_of.find(std::bit_cast<std::uint32_t>(decoded[n]));
    const bool fits = found != index_of.end() && (expected == kAny || found->second == expected);
    if (!fits && ++mismatches <= 5) {
      ADD_FAILURE() << "decoded sample " << n - first << " of the run has the bits "
                    << std::bit_cast<std::uint32_t>(decoded[n]) << ", expected sample "
                    << (expected == kAny ? std::string("any") : std::to_string(expected))
                    << " of the sound";
    }
    expected = found == index_of.end() ? kAny : found->second + 3;
  }
  ASSERT_EQ(mismatches, 0u);

  // And the run covers the whole sound: it starts within its first three
  // samples and ends within its last three.
  const std::size_t first_index = index_of.at(std::bit_cast<std::uint32_t>(decoded[first]));
  const std::size_t last_index = index_of.at(std::bit_cast<std::uint32_t>(decoded[last]));
  EXPECT_LT(first_index, 3u);
  EXPECT_GE(last_index, kFrames - 3);
  EXPECT_EQ(last - first + 1, (last_index - first_index) / 3 + 1);
}

}  // namespace
}  // namespace end_to_end
