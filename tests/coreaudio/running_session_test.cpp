// A started session: its blocks reach the PCM channel, its listeners tell
// of a capture that died, and released it leaves nothing behind.

#include <algorithm>
#include <cstring>
#include <thread>

#include "fake_fixture.h"

namespace system_audio {
namespace {

using RunningSession = testing::FakeHalTest;

// Released, a session goes as a failed start does: the listeners, then the
// HAL objects newest first, so that no IO block runs against a freed state.
TEST_F(RunningSession, ReleasedItLeavesNothingBehindHalObjectsFirst) {
  auto session = start();
  ASSERT_TRUE(session) << session.error();
  ASSERT_TRUE(fake::deliver_block({std::vector(480, 0.5f)}));
  EXPECT_EQ(pcm_rx.receive_for(std::chrono::seconds(5)).status, ReceiveStatus::message);
  const std::size_t before = fake::log().size();
  { const CoreAudioSession gone = std::move(*session); }
  EXPECT_TRUE(pcm_closed());
  const auto log = fake::log();
  std::vector<std::string> expected = testing::kRemoveListeners;
  expected.insert(
      expected.end(),
      {"AudioDeviceDestroyIOProcID(88, IOProc#1)", "AudioHardwareDestroyAggregateDevice(88)",
       "AudioHardwareDestroyProcessTap(77)", "Block_release(AudioObjectPropertyListenerBlock)",
       "dispatch_release(dispatch_queue \"com.vantle.audio-helper.audio-tap\")",
       "Block_release(AudioDeviceIOBlock)", "NSObject_release(CATapDescription)"});
  EXPECT_EQ(std::vector(log.begin() + std::ptrdiff_t(before), log.end()), expected);
  EXPECT_FALSE(fake::deliver_block({std::vector(480, 0.5f)}));
  EXPECT_EQ(fake::leftovers(), std::vector<std::string>{});
}

// Each cause, raised twice, gives its status once, and only when the value read
// after the notice says so; a default device that moved off a dead one tells
// of the device.
TEST_F(RunningSession, EachDeadCaptureCauseIsReportedOnceWhenItsValueSaysSo) {
  const struct {
    AudioObjectPropertySelector selector;
    UInt32 alive;
    AudioObjectID default_device;
    std::string status;
  } rows[] = {
      {kAudioDevicePropertyDeviceIsAlive, 1, 73, ""},
      {kAudioDevicePropertyDeviceIsAlive, 0, 73, "failed: CoreAudio output device is gone"},
      {kAudioHardwarePropertyDefaultOutputDevice, 1, 73, ""},
      {kAudioHardwarePropertyDefaultOutputDevice, 1, 74,
       "failed: CoreAudio default output device changed"},
      {kAudioHardwarePropertyDefaultOutputDevice, 0, 74, "failed: CoreAudio output device is gone"},
      {kAudioHardwarePropertyServiceRestarted, 1, 73, "failed: CoreAudio audio service restarted"},
  };
  for (const auto& row : rows) {
    fake::install();
    auto session = start();
    ASSERT_TRUE(session) << session.error();
    script.device_alive = row.alive;
    script.default_device = row.default_device;
    const AudioObjectID object = row.selector == kAudioDevicePropertyDeviceIsAlive ? 73 : 1;
    EXPECT_EQ(fake::change_property(object, row.selector), 1);
    EXPECT_EQ(fake::change_property(object, row.selector), 1);
    fake::wait_until_delivered();
    std::string statuses;
    while (auto status = status_rx.receive_for(std::chrono::seconds(0)).message)
      statuses += *status;
    EXPECT_EQ(statuses, row.status) << row.selector << " alive " << row.alive;
  }
}

}  // namespace
}  // namespace system_audio
