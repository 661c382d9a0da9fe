// A started session's listeners tell of a capture that died. (Released, a
// session goes as a failed start does: start_failure_test.cpp.)

#include "fake_fixture.h"

namespace system_audio {
namespace {

using RunningSession = testing::FakeHalTest;

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
