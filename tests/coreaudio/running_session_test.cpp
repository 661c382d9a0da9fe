// A started session's listeners and watch tell of a capture that died, and
// only the tap is heard. (Released, a session goes as a failed start does:
// start_failure_test.cpp.)

#include <future>

#include "fake_fixture.h"

namespace system_audio {
namespace {

using RunningSession = testing::FakeHalTest;
using testing::kAggregate;
using testing::kDevice;

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
// device goes away holds up no IO cycle.
TEST_F(RunningSession, AListenerThatHangsHoldsUpNoIoCycle) {
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
}

// The HAL calls a running IOProc even in silence: one that stops for 2 s while
// its device lives is a stopped capture, told once.
TEST_F(RunningSession, AnIoProcThatStopsBeingCalledIsAStoppedCapture) {
  auto session = start();
  ASSERT_TRUE(session) << session.error();
  ASSERT_TRUE(fake::deliver_block({std::vector<float>(480, 0.25f)}));
  fake::wait_until_delivered();
  const auto status = [&] { return status_rx.receive_for(std::chrono::seconds(4)).message; };
  EXPECT_EQ(status(), "receiving");
  EXPECT_EQ(status(), "failed: CoreAudio capture stopped");
  EXPECT_EQ(statuses(), "");
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

}  // namespace
}  // namespace system_audio
