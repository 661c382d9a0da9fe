// What the parent decodes is, bit for bit, what the conversion path (low pass,
// resampler) makes of the sound played into the sink: nothing lost, repeated, reordered or altered
// between the audio server and the parent's pipe.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "helper_under_test.h"
#include "system_audio/conversion/capture_state.h"

namespace end_to_end {
namespace {

constexpr std::size_t kFrames = 3 * 48000;
constexpr std::size_t kLeadIn = 4800;  // 100 ms: the monitor may drop a stream's first ms

// Distinct exact values in (-0.25, 0.25), never zero (a full-period sequence
// modulo 2^20 on odd multiples of 2^-22), so silence cannot pass for them. Both
// channels are equal: the server's mono mixdown of L and L is L exactly.
std::vector<float> played_mono() {
  std::vector<float> mono(kLeadIn + kFrames + kLeadIn, 0.0f);
  std::uint32_t x = 12345;
  for (std::size_t i = kLeadIn; i < kLeadIn + kFrames; ++i) {
    x = (x * 1103515245u + 12345u) & 0xFFFFFu;
    mono[i] = float(2 * std::int32_t(x) - (1 << 20) + 1) / float(1 << 22);
  }
  return mono;
}

// The conversion path's output for the sound, when the helper's stream meets
// it `phase` samples in; the rest of its stream is silence.
std::vector<float> reference(const std::vector<float>& mono, std::size_t phase) {
  system_audio::RateConversion conversion(PrivateAudioServer::kSinkRate);
  std::vector<float> block(mono.begin() + std::ptrdiff_t(phase), mono.end()), out;
  system_audio::low_pass(conversion.low_pass, conversion.resampler, block);
  conversion.resampler.process(block, out);
  return out;
}

// From the first to the last sample that is not zero.
std::vector<std::uint32_t> sounding_bits(const std::vector<float>& samples) {
  std::vector<std::uint32_t> bits;
  for (float sample : samples) bits.push_back(std::bit_cast<std::uint32_t>(sample));
  while (!bits.empty() && bits.back() == 0) bits.pop_back();
  const auto first = std::find_if(bits.begin(), bits.end(), [](auto b) { return b != 0; });
  return std::vector(first, bits.end());
}

TEST(BitExactCapture, TheParentDecodesTheConversionOfWhatWasPlayed) {
  const auto mono = played_mono();
  std::vector<float> stereo;
  for (float sample : mono) stereo.insert(stereo.end(), {sample, sample});
  auto server = start_server();
  Captured out;
  auto helper = server ? start_streaming(*server, out) : nullptr;
  ASSERT_TRUE(helper);
  const auto played = play_while_reading(*server, stereo, *helper, out);
  ASSERT_TRUE(played) << played.error();
  read_until(*helper, out, 300ms, [] { return false; });  // what is still on its way
  ASSERT_EQ(out.reader.bad_lines(), 0u);

  const auto decoded = sounding_bits(out.reader.samples());
  ASSERT_FALSE(decoded.empty()) << "nothing of the sound came out";
  bool matched = false;
  for (std::size_t phase = 0; phase < 3; ++phase) {
    matched |= sounding_bits(reference(mono, phase)) == decoded;
  }
  EXPECT_TRUE(matched) << decoded.size() << " decoded samples match no phase of the sound";
}

}  // namespace
}  // namespace end_to_end
