// Mixdown, resampler and the tap format check.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

#include "conversion_support.h"
#include "system_audio/conversion/linear_resampler.h"
#include "system_audio/conversion/mono_mixdown.h"
#include "system_audio/conversion/tap_format.h"

namespace system_audio {
namespace {

TEST(MonoMixdown, EachListGivesItsExactBitsOrIsUnreadable) {
  const float nan = std::bit_cast<float>(0x7fa00001u);
  const Samples none, two = {1, 2};
  const struct {
    const char* name;
    std::vector<std::pair<std::uint32_t, Samples>> buffers;  // channels, samples
    std::optional<Samples> mono;                             // absent: unreadable
    std::optional<std::uint32_t> bytes = {};                 // of buffer 0, when set
  } rows[] = {
      {"no buffers", {}, Samples{}},
      {"zero bytes", {{1, two}}, std::nullopt, 0},
      {"not whole samples", {{1, two}}, std::nullopt, 6},
      {"no data", {{1, none}}, std::nullopt, 8},
      {"only unusable buffers", {{1, none}, {2, none}}, std::nullopt},
      {"more channels than samples", {{4, two}}, Samples{}},
      {"a buffer too short for a frame", {{1, {1, 2, 3}}, {2, {4}}}, Samples{}},
      {"zero channels is mono, every bit kept", {{0, {-0.0f, nan}}}, Samples{-0.0f, nan}},
      {"stereo, incomplete frame ignored", {{2, {1, 3, 5}}}, Samples{2}},
      {"negative zeros sum from +0.0", {{5, Samples(5, -0.0f)}}, Samples{0}},
      {"channels added in order", {{3, {1e8f, -1e8f, 1, 1, 1e8f, -1e8f}}}, Samples{1.0f / 3, 0}},
      {"buffers added in order", {{1, {1e8f}}, {1, {-1e8f}}, {1, {1}}}, Samples{1.0f / 3}},
      {"shortest buffer rules", {{1, {3, 4, 5, 6, 7}}, {1, {1, 2, 3}}}, Samples{2, 3, 4}},
      {"unusable buffers do not count", {{1, none}, {1, {0.5f, -0.25f}}}, Samples{0.5f, -0.25f}},
      {"each buffer weighs the same", {{2, {1, 3, -2, 0}}, {1, {4, 1}}}, Samples{3, 0}},
  };
  for (const auto& row : rows) {
    BufferList list(row.buffers);
    if (row.bytes) list.list().mBuffers[0].mDataByteSize = *row.bytes;
    Samples mono{-1};  // left as it is when the list is unreadable
    EXPECT_EQ(copy_mono_f32_input(list.list(), mono), row.mono.has_value()) << row.name;
    EXPECT_EQ(bits_of(mono), bits_of(row.mono.value_or(Samples{-1}))) << row.name;
  }
}

// Each row: the calls in order, each with its output, and the position after.
TEST(LinearResampler, BlocksGiveTheirSamplesAndCarryThePhaseOn) {
  const float tiny = std::numeric_limits<float>::denorm_min();
  const float t = float(44100.0 / 16000.0 - 2.0);  // rounded from the f64 position
  const struct {
    double rate;  // as asked; one that is not usable works as 16000
    std::vector<std::pair<Samples, Samples>> calls;
    double position;
    bool exact = true;  // every output bit for bit; else within 1e-6
  } rows[] = {
      {16000, {{{1, 2, 3}, {1, 2}}, {{4, 5}, {3, 4}}, {{}, {}}}, 0},
      {16000, {{{tiny, -1e-30f, -0.0f, 7.5f}, {tiny, -1e-30f, 0.0f}}}, 0},
      // Still a + (b - a) * 0, not a copy: an infinity on either side gives NaN.
      {16000, {{{1, INFINITY, 2, 3}, {NAN, NAN, 2}}}, 0, false},
      {8000, {{{1, 2}, {1}}}, 0},
      {NAN, {{{1, 2}, {1}}}, 0},
      {48000, {{{10, 11, 12, 13, 14, 15, 16}, {10, 13}}, {{17, 18, 19}, {16}}, {{20}, {19}}}, 2},
      {48000, {{{0.5f}, {}}, {{1.0f}, {0.5f}}}, 2},
      {44100, {{{0, 0, 0, 1}, {0, t}}, {{1, 1, 1}, {1}}}, 2.26875},
      // The summed position lands a rounding below the last index (10.999...
      // for 11): one sample more than ceil(n / step) is due.
      {17600,
       {{{0}, {}},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
         {0, 1.1f, 2.2f, 3.3f, 4.4f, 5.5f, 6.6f, 7.7f, 8.8f, 9.9f, 11}}},
       1.0999999999999979,
       false},
      // A rate far beyond any index must not read past the newest sample.
      {1e300, {{{1, 2, 3}, {1}}, {{4, 5}, {}}}, 1e300 / 16000 - 4},
  };
  for (const auto& row : rows) {
    LinearResampler resampler(row.rate);
    for (const auto& [in, out] : row.calls) {
      Samples made;
      resampler.process(in, made);
      ASSERT_EQ(made.size(), out.size()) << row.rate;
      for (std::size_t k = 0; k < out.size(); ++k) {
        if (std::isnan(out[k])) {
          EXPECT_TRUE(std::isnan(made[k])) << row.rate;
        } else {
          EXPECT_NEAR(made[k], out[k], 1e-6) << row.rate;
        }
      }
      EXPECT_TRUE(!row.exact || bits_of(made) == bits_of(out)) << row.rate;
      EXPECT_EQ(resampler.pending, Samples{in.empty() ? resampler.pending[0] : in.back()});
    }
    EXPECT_NEAR(resampler.position, row.position, 1e-9 * std::max(1.0, row.position)) << row.rate;
  }
}

TEST(TapFormat, EachFormatIsAcceptedOrRejectedWithItsTextAndTheDiagnosticOfWhatWasRead) {
  constexpr std::uint32_t lpcm = 1819304813, aac = 0x61616320;
  const struct {
    double rate;
    const char* text;  // the rate as written: shortest decimal, no exponent
    std::uint32_t flags, bits = 32, id = lpcm, size = 40;
    bool accepted = false;
  } rows[] = {{48000, "48000", 9, 32, lpcm, 40, true},
              {NAN, "NaN", 9, 32, lpcm, 40, true},
              {16000, "16000", 1, 32, lpcm, 40, true},
              {1e21, "1000000000000000000000", 9, 32, lpcm, 40, true},
              {15999.5, "15999.5", 1},
              {48000, "48000", 9, 32, aac},
              {48000, "48000", 8},
              {48000, "48000", 9, 16},  // floats, but not the 32-bit ones the conversion reads
              {48000, "", 9, 32, lpcm, 36}};
  for (const auto& row : rows) {
    const AudioStreamBasicDescription format{row.rate, row.id, row.flags, 8, 1, 8, 2, row.bits, 0};
    const auto check = validate_tap_format(format, row.size);
    const std::string values =
        " flags=" + std::to_string(row.flags) + " bits=" + std::to_string(row.bits);
    const std::string error =
        row.size != 40 ? "CoreAudio returned an unexpected tap format size"
        : row.accepted ? ""
                       : "unsupported CoreAudio tap format: id=" + std::to_string(row.id) + values +
                             " rate=" + row.text;
    EXPECT_EQ(check.accepted ? "" : check.accepted.error(), error);
    EXPECT_EQ(check.diagnostic.value_or(""),
              row.size != 40
                  ? ""
                  : "coreaudio: tap format rate=" + std::string(row.text) + " channels=2" + values);
  }
}

}  // namespace
}  // namespace system_audio
