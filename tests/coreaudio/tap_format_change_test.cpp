// The tap's format changing under a running session: a new rate is followed
// with the pitch kept; a format that cannot be converted is told once and
// converts nothing more.

#include <cmath>
#include <numbers>

#include "fake_fixture.h"
#include "signal_analysis.h"

namespace system_audio {
namespace {

using FormatChange = testing::FakeHalTest;
using testing::kTap;

constexpr double kTone = 1000.0;

// Seconds of the tone at `rate`, its phase going on from `n`, in 10 ms blocks.
void play(double seconds, double rate, std::size_t& n) {
  const auto block = std::size_t(rate / 100);
  for (std::size_t blocks = std::size_t(seconds * 100); blocks-- > 0;) {
    std::vector<float> samples(block);
    for (float& sample : samples)
      sample = float(0.5 * std::sin(2 * std::numbers::pi * kTone * double(n++) / rate));
    ASSERT_TRUE(fake::deliver_block({samples}));
  }
  fake::wait_until_delivered();
}

TEST_F(FormatChange, ANewRateIsFollowedAndAnUnusableFormatIsToldOnce) {
  const char* const kFormatChanged = "failed: CoreAudio output format changed: ";
  const struct {
    const char* name;
    std::function<void(AudioStreamBasicDescription&, UInt32&)> change;
    std::string diagnostic, status;
    double rate;  // of the tone after the change; 0: nothing more comes out
  } rows[] = {
      {"44.1 kHz", [](auto& f, auto&) { f.mSampleRate = 44100; },
       "coreaudio: tap format rate=44100 channels=1 flags=9 bits=32", "", 44100},
      {"16-bit integers",
       [](auto& f, auto&) {
         f.mFormatFlags = 12;
         f.mBitsPerChannel = 16;
       },
       "coreaudio: tap format rate=48000 channels=1 flags=12 bits=16",
       std::string(kFormatChanged) +
           "unsupported CoreAudio tap format: id=1819304813 flags=12 bits=16 rate=48000",
       0},
      {"short record", [](auto&, UInt32& size) { size = 36; }, "",
       std::string(kFormatChanged) + "CoreAudio returned an unexpected tap format size", 0},
      {"the same format", [](auto&, auto&) {}, "", "", 48000},
  };
  for (const auto& row : rows) {
    fake::install();
    auto session = start();
    ASSERT_TRUE(session) << session.error();
    std::size_t n = 0;
    play(1.0, 48000, n);
    samples();
    row.change(script.tap_format, script.tap_format_size);
    ::testing::internal::CaptureStderr();
    fake::change_property(kTap, kAudioTapPropertyFormat);
    fake::change_property(kTap, kAudioTapPropertyFormat);
    fake::wait_until_delivered();
    const auto lines = split_lines(::testing::internal::GetCapturedStderr());
    EXPECT_EQ(lines, row.diagnostic.empty() ? std::vector<std::string>{}
                                            : std::vector<std::string>{row.diagnostic})
        << row.name;
    EXPECT_EQ(statuses(), "receiving" + (row.status.empty() ? "" : "|" + row.status)) << row.name;
    play(2.0, row.rate ? row.rate : 48000, n);
    const std::vector<float> out = samples();
    if (row.rate == 0) {
      EXPECT_EQ(out.size(), 0u) << row.name;
      continue;
    }
    // Two seconds at 16000 Hz, give or take what the resampler holds.
    EXPECT_NEAR(double(out.size()), 32000.0, 2.0) << row.name;
    const auto heard = parent::dominant_frequency(out, 16000.0, 500, 2000);
    ASSERT_TRUE(heard) << row.name;
    EXPECT_NEAR(*heard, kTone, 0.5) << row.name;
  }
}

}  // namespace
}  // namespace system_audio
