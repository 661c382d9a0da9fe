// The parent's side of the protocol as vantle_listen and the bench programs
// read it: lines in pieces, strict Base64, little-endian floats, and the
// measurements of the decoded sound.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "protocol_reader.h"
#include "signal_analysis.h"

namespace {

constexpr double kRate = 16000;

std::vector<float> sine(double frequency, double amplitude, std::size_t count) {
  std::vector<float> samples(count);
  for (std::size_t n = 0; n < count; ++n) {
    samples[n] = float(amplitude * std::sin(2 * std::numbers::pi * frequency * double(n) / kRate));
  }
  return samples;
}

// "AACAPwAAAL8=" is the bytes 00 00 80 3F 00 00 00 BF: 1.0 and -0.5.
const std::string kOneAndMinusHalf = "PCM AACAPwAAAL8=\n";

TEST(ProtocolReader, LinesCutAnywhereReadTheSameAsWhole) {
  const std::string output = "READY\n" + kOneAndMinusHalf + "STATUS receiving\n" + kOneAndMinusHalf;
  parent::ProtocolReader whole;
  whole.feed(output);
  parent::ProtocolReader bytewise;
  for (const char c : output) bytewise.feed(std::string_view(&c, 1));

  for (const auto* reader : {&whole, &bytewise}) {
    EXPECT_TRUE(reader->ready());
    EXPECT_FALSE(reader->ready_out_of_place());
    EXPECT_EQ(reader->pcm_lines(), 2u);
    EXPECT_EQ(reader->statuses(), std::vector<std::string>{"receiving"});
    EXPECT_EQ(reader->samples(), (std::vector<float>{1.0f, -0.5f, 1.0f, -0.5f}));
    EXPECT_EQ(reader->chunk_ends(), (std::vector<std::size_t>{2, 4}));
    EXPECT_EQ(reader->bad_lines(), 0u);
  }
}

TEST(ProtocolReader, APartialLastLineWaitsForItsLineFeed) {
  parent::ProtocolReader reader;
  reader.feed("READY\nPCM AACAPw");
  EXPECT_EQ(reader.pcm_lines(), 0u);
  reader.feed("AAAL8=\n");
  EXPECT_EQ(reader.samples(), (std::vector<float>{1.0f, -0.5f}));
}

TEST(ProtocolReader, PayloadsThatAreNotWholeFloatsInStrictBase64AreBadLines) {
  for (const char* line : {"PCM AAAAAAA=\n",  // 5 bytes: not whole floats
                           "PCM AACAPw\n",    // length not a multiple of 4
                           "PCM AAC=APw=\n",  // padding inside
                           "PCM AACAP-==\n",  // outside the alphabet
                           "PCM AAAA\n",      // 3 bytes
                           "PCM \n",          // an empty chunk
                           "PCM\n",           // not a protocol line
                           "HELLO\n"}) {
    parent::ProtocolReader reader;
    reader.feed(line);
    EXPECT_EQ(reader.bad_lines(), 1u) << line;
    EXPECT_TRUE(reader.samples().empty()) << line;
  }
  // Padding that leaves exactly one float is fine.
  parent::ProtocolReader padded;
  padded.feed("PCM AACAPw==\n");
  EXPECT_EQ(padded.bad_lines(), 0u);
  EXPECT_EQ(padded.samples(), std::vector<float>{1.0f});
}

TEST(ProtocolReader, ReadyAfterAnotherLineOrTwiceIsOutOfPlace) {
  parent::ProtocolReader late;
  late.feed(kOneAndMinusHalf + "READY\n");
  EXPECT_TRUE(late.ready_out_of_place());
  parent::ProtocolReader twice;
  twice.feed("READY\nREADY\n");
  EXPECT_TRUE(twice.ready_out_of_place());
}

TEST(ProtocolReader, TheErrorLineKeepsItsTextWhole) {
  parent::ProtocolReader reader;
  reader.feed("ERROR read default output device failed: OSStatus -50 (-50)\n");
  EXPECT_FALSE(reader.ready());
  ASSERT_TRUE(reader.error());
  EXPECT_EQ(*reader.error(), "read default output device failed: OSStatus -50 (-50)");
}

TEST(SignalAnalysis, LevelsOfKnownSignals) {
  const auto half_sine = sine(1000, 0.5, 16000);
  const auto level = parent::level_of(half_sine);
  EXPECT_NEAR(level.peak_dbfs, -6.02, 0.01);
  EXPECT_NEAR(level.rms_dbfs, -9.03, 0.01);
  const std::vector<float> square{1, -1, 1, -1};
  EXPECT_NEAR(parent::level_of(square).rms_dbfs, 0.0, 1e-9);
  const std::vector<float> silence(100, 0.0f);
  EXPECT_TRUE(std::isinf(parent::level_of(silence).rms_dbfs));
  EXPECT_TRUE(std::isinf(parent::level_of(silence).peak_dbfs));
}

TEST(SignalAnalysis, FindsTonesOnAndBetweenTheOneHertzSteps) {
  for (const double frequency : {440.0, 1234.5, 87.25, 3999.0}) {
    const auto found =
        parent::dominant_frequency(sine(frequency, 0.25, 2 * 16000), kRate, 50, 4000);
    ASSERT_TRUE(found) << frequency;
    EXPECT_NEAR(*found, frequency, 0.1);
  }
}

TEST(SignalAnalysis, TheStrongerOfTwoTonesWins) {
  auto mix = sine(300, 0.1, 2 * 16000);
  const auto loud = sine(2500, 0.3, 2 * 16000);
  for (std::size_t n = 0; n < mix.size(); ++n) mix[n] += loud[n];
  const auto found = parent::dominant_frequency(mix, kRate, 50, 4000);
  ASSERT_TRUE(found);
  EXPECT_NEAR(*found, 2500, 0.1);
}

TEST(SignalAnalysis, SilenceAndTooShortAStreamHaveNoFrequency) {
  EXPECT_FALSE(parent::dominant_frequency(std::vector<float>(16000, 0.0f), kRate, 50, 4000));
  EXPECT_FALSE(parent::dominant_frequency(sine(440, 0.5, 1000), kRate, 50, 4000));
  // A third of a second is enough to tell, if not as finely.
  const auto short_tone = parent::dominant_frequency(sine(440, 0.5, 5000), kRate, 50, 4000);
  ASSERT_TRUE(short_tone);
  EXPECT_NEAR(*short_tone, 440, 1.0);
}

}  // namespace
