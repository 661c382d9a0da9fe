// A started session's listeners and watch tell of a capture that died or
// hears only silence, only the tap is heard, and the tap's format is followed.
// (Released, a session goes as a failed start does: start_failure_test.cpp.)

#include <unistd.h>

#include <cmath>
#include <future>
#include <numbers>
#include <numeric>

#include "fake_fixture.h"
#include "signal_analysis.h"
#include "system_audio/coreaudio/capture_watch.h"

namespace system_audio {
namespace {

using RunningSession = testing::FakeHalTest;
using testing::kAggregate;
using testing::kDevice;
using testing::kTap;

constexpr double kTone = 1000.0;

// Seconds of the tone at `rate`, its phase going on from `n`, in 10 ms cycles
// of `tap_buffers` mono buffers.
void play(double seconds, double rate, std::size_t& n, UInt32 tap_buffers = 1) {
  for (auto cycles = std::lround(seconds * 100); cycles-- > 0;) {
    std::vector<float> block(std::size_t(rate / 100));
    for (float& x : block)
      x = float(0.5 * std::sin(2 * std::numbers::pi * kTone * double(n++) / rate));
    ASSERT_TRUE(fake::deliver_block(fake::Buffers(tap_buffers, block)));
  }
  fake::wait_until_delivered();
}

struct Change {
  AudioObjectID object;
  AudioObjectPropertySelector selector;
  UInt32 alive = 1;                   // the device's liveness read after the notice
  AudioObjectID default_device = 73;  // the default output device read after it
  UInt32 running = 1;                 // the aggregate device's running read after it
};

// Each cause, raised twice, gives its status once, and only when the values
// read after the notice say so; a default device that moved off a dead one
// tells of the device. A stopped capture is told only while nothing else
// failed: after a lost service or a removed device the IO stops too.
TEST_F(RunningSession, EachDeadCaptureCauseIsReportedOnceWhenItsValueSaysSo) {
  const struct {
    std::vector<Change> changes;
    std::string statuses;
  } rows[] = {
      {{{kDevice, kAudioDevicePropertyDeviceIsAlive}}, ""},
      {{{kDevice, kAudioDevicePropertyDeviceIsAlive, 0}},
       "failed: CoreAudio output device is gone"},
      {{{1, kAudioHardwarePropertyDefaultOutputDevice}}, ""},
      {{{1, kAudioHardwarePropertyDefaultOutputDevice, 1, 74}},
       "failed: CoreAudio default output device changed"},
      {{{1, kAudioHardwarePropertyDefaultOutputDevice, 0, 74}},
       "failed: CoreAudio output device is gone"},
      {{{1, kAudioHardwarePropertyServiceRestarted}}, "failed: CoreAudio audio service restarted"},
      {{{kAggregate, kAudioDevicePropertyDeviceIsRunningSomewhere}}, ""},
      {{{kAggregate, kAudioDevicePropertyDeviceIsRunningSomewhere, 1, 73, 0}},
       "failed: CoreAudio capture stopped"},
      {{{kAggregate, kAudioDevicePropertyDeviceIsRunningSomewhere, 0, 73, 0}}, ""},
      {{{1, kAudioHardwarePropertyServiceRestarted},
        {kAggregate, kAudioDevicePropertyDeviceIsRunningSomewhere, 1, 73, 0}},
       "failed: CoreAudio audio service restarted"},
      {{{1, kAudioHardwarePropertyDefaultOutputDevice, 1, 74},
        {1, kAudioHardwarePropertyServiceRestarted, 1, 74}},
       "failed: CoreAudio default output device changed|failed: CoreAudio audio service restarted"},
      {{{kAggregate, kAudioDevicePropertyDeviceIsRunningSomewhere, 1, 73, 0},
        {kDevice, kAudioDevicePropertyDeviceIsAlive, 0, 73, 0}},
       "failed: CoreAudio capture stopped|failed: CoreAudio output device is gone"},
  };
  for (const auto& row : rows) {
    fake::install();
    auto session = start();
    ASSERT_TRUE(session) << session.error();
    for (const Change& change : row.changes) {
      script.device_alive = change.alive;
      script.default_device = change.default_device;
      script.aggregate_running = change.running;
      EXPECT_EQ(fake::change_property(change.object, change.selector), 1);
      EXPECT_EQ(fake::change_property(change.object, change.selector), 1);
      fake::wait_until_delivered();
    }
    EXPECT_EQ(statuses(), row.statuses) << row.statuses;
  }
}

// The listeners have a queue of their own: a property read that hangs while a
// device goes away holds up no IO cycle. The HAL calls a running IOProc even
// in silence: one not called for 2 s while its device lives is a stopped capture.
TEST_F(RunningSession, AHangingListenerHoldsUpNoIoCycleAndIoThatStopsIsAStoppedCapture) {
  auto session = start();
  ASSERT_TRUE(session) << session.error();
  std::promise<void> hanging, release;
  const auto released = release.get_future().share();
  fake::set_observer([&, released](const std::string& line) {
    if (!line.starts_with("AudioObjectGetPropertyData(73, 'livn'")) return;
    hanging.set_value();
    released.wait();
  });
  fake::change_property(kDevice, kAudioDevicePropertyDeviceIsAlive);
  hanging.get_future().wait();
  ASSERT_TRUE(fake::deliver_block({std::vector<float>(480, 0.25f)}));
  EXPECT_TRUE(pcm_rx.receive_for(std::chrono::seconds(2)).message);
  release.set_value();
  fake::wait_until_delivered();
  fake::set_observer(nullptr);
  EXPECT_EQ(status_rx.receive_for(std::chrono::seconds(1)).message, "receiving");
  EXPECT_EQ(status_rx.receive_for(std::chrono::seconds(4)).message,
            "failed: CoreAudio capture stopped");
}

// A device with input streams (a headset's microphone) gives the IO cycle its
// buffers before the tap's: the output is the tap's alone, at its own level.
// Buffers that do not make up the tap's channels at the end give nothing.
TEST_F(RunningSession, OnlyTheTapIsHeardBesideTheDevicesInputs) {
  std::vector<float> tap(4800);
  for (std::size_t n = 0; n < tap.size(); ++n) tap[n] = float(n % 48) / 96.0f;
  const struct {
    std::vector<UInt32> device_inputs;
    UInt32 tap_channels;  // as the tap's format says; its buffers are mono
    bool heard;
  } rows[] = {{{}, 1, true},     {{1}, 1, true}, {{2}, 1, true},
              {{1, 2}, 1, true}, {{2}, 2, true}, {{}, 3, false}};
  std::vector<float> alone;
  for (const auto& row : rows) {
    fake::install();
    script.device_inputs = row.device_inputs;
    script.tap_format.mChannelsPerFrame = row.tap_channels;
    auto session = start();
    ASSERT_TRUE(session) << session.error();
    // A tap of two channels comes as two mono buffers of the same samples.
    ASSERT_TRUE(fake::deliver_block(fake::Buffers(std::min<UInt32>(row.tap_channels, 2), tap)));
    fake::wait_until_delivered();
    const std::vector<float> out = samples();
    if (alone.empty()) alone = out;
    EXPECT_EQ(out, row.heard ? alone : std::vector<float>{}) << row.device_inputs.size();
  }
  EXPECT_EQ(alone.size(), 1600u);
}

// A new rate is followed with the pitch kept (the tone read at the old rate
// would come out at 1088 Hz), and a new channel count with the microphone
// still left out; a format that cannot be converted is told once, and nothing
// more is converted.
TEST_F(RunningSession, TheTapsFormatIsFollowedOrToldOnce) {
  const std::string changed = "failed: CoreAudio output format changed: ";
  const struct {
    double rate;
    UInt32 flags, bits, size;
    std::string diagnostic, status;  // an empty diagnostic: none
    UInt32 channels_before = 1;
  } rows[] = {
      {48000, 9, 32, 40, "coreaudio: tap format rate=48000 channels=1 flags=9 bits=32", "", 2},
      {44100, 9, 32, 40, "coreaudio: tap format rate=44100 channels=1 flags=9 bits=32", ""},
      {48000, 12, 16, 40, "coreaudio: tap format rate=48000 channels=1 flags=12 bits=16",
       changed + "unsupported CoreAudio tap format: id=1819304813 flags=12 bits=16 rate=48000"},
      {48000, 9, 32, 36, "", changed + "CoreAudio returned an unexpected tap format size"},
  };
  for (const auto& row : rows) {
    fake::install();
    script.device_inputs = {1};
    script.tap_format.mChannelsPerFrame = row.channels_before;
    auto session = start();
    ASSERT_TRUE(session) << session.error();
    std::size_t n = 0;
    play(1.0, 48000, n, row.channels_before);
    samples();
    script.tap_format.mSampleRate = row.rate;
    script.tap_format.mFormatFlags = row.flags;
    script.tap_format.mBitsPerChannel = row.bits;
    script.tap_format_size = row.size;
    script.tap_format.mChannelsPerFrame = 1;
    ::testing::internal::CaptureStderr();
    for (int twice = 0; twice < 2; ++twice) fake::change_property(kTap, kAudioTapPropertyFormat);
    fake::wait_until_delivered();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              row.diagnostic + (row.diagnostic.empty() ? "" : "\n"));
    EXPECT_EQ(statuses(), "receiving" + (row.status.empty() ? "" : "|" + row.status));
    play(2.0, row.rate, n);
    const std::vector<float> out = samples();
    // Two seconds at 16000 Hz, give or take what the resampler holds.
    EXPECT_NEAR(double(out.size()), row.status.empty() ? 32000.0 : 0.0, 2.0) << row.rate;
    if (row.status.empty()) {
      EXPECT_NEAR(parent::dominant_frequency(out, 16000, 500, 2000).value_or(0), kTone, 0.5);
      EXPECT_NEAR(std::reduce(out.begin(), out.end(), 0.0) / 32000, 0, 1e-3);  // no microphone
    }
  }
}

using CaptureWatchJudge = testing::FakeHalTest;

// The watch's judgement, look by look: a capture whose IO stopped while its
// device lives, and a tap that heard only exact zeros for 10 s while another
// process played, are each told once, and neither after another failure.
TEST_F(CaptureWatchJudge, TellsAStoppedCaptureAndASilentTapOnce) {
  const std::string silent =
      "silent: no audio reached the tap for 10 s while other applications play; System Audio "
      "Recording permission may be missing";
  const std::string stopped = "failed: CoreAudio capture stopped";
  const pid_t own = ::getpid();
  using P = fake::Script::Process;
  const P other{500, own + 1, 1}, idle{500, own + 1, 0}, self{501, own, 1};
  const struct {
    double zero_seconds;  // in 10 ms cycles at 48 kHz before the looks
    float last_sample;    // of the last cycle
    std::vector<P> processes;
    UInt32 alive;
    bool failed_before;  // another failure was told first
    int looks;           // with no cycle after the audio; the first sees the cycles
    std::string statuses;
  } rows[] = {
      {10.0, -0.0f, {self, other}, 1, false, 1, silent},
      {10.0, -1e-30f, {other}, 1, false, 1, ""},  // a sample heard
      {10.0, 0.0f, {self}, 1, false, 1, ""},
      {10.0, 0.0f, {idle}, 1, false, 1, ""},
      {9.99, 0.0f, {other}, 1, false, 1, ""},
      // 2 s without a cycle, at a look each 250 ms.
      {0.01, 0.0f, {}, 1, false, 1 + 7, ""},
      {0.01, 0.0f, {}, 1, false, 1 + 8, stopped},
      {0.01, 0.0f, {}, 0, false, 1 + 8, ""},   // the device's to tell
      {0.0, 0.0f, {other}, 1, false, 40, ""},  // never started
      {10.0, 0.0f, {other}, 1, false, 40, silent + "|" + stopped},
      {10.0, 0.0f, {other}, 1, true, 40, "failed: CoreAudio default output device changed"},
  };
  for (const auto& row : rows) {
    fake::install();
    script.processes = row.processes;
    script.device_alive = row.alive;
    auto [status_tx, status] = make_channel<StatusText>();
    status_rx = std::move(status);
    auto state = std::make_shared<TapCallbackState>(PcmSender(), std::move(status_tx));
    state->tap_rate = 48000.0;
    auto monitor = std::make_shared<CaptureMonitor>(testing::kDevice, testing::kTap,
                                                    testing::kAggregate, state, script.tap_format);
    if (row.failed_before) monitor->alarms.raise(Alarm::default_changed);
    std::vector<float> block(480);
    for (auto cycles = std::lround(row.zero_seconds * 100); cycles-- > 0;) {
      if (cycles == 0) block.back() = row.last_sample;
      AudioBufferList list{1, {{1, UInt32(block.size() * 4), block.data()}}};
      run_io_block(state.get(), nullptr, &list, nullptr, nullptr, nullptr);
    }
    CaptureJudge judge(monitor);
    for (int look = 0; look < row.looks; ++look) judge.look();
    EXPECT_EQ(statuses(), row.statuses) << row.zero_seconds << " s, " << row.looks << " looks";
  }
}

}  // namespace
}  // namespace system_audio
