// A started session: IO cycles from the HAL's threads reach the channels, and
// a released session with its HAL objects destroyed leaves nothing behind.

#include <algorithm>
#include <cstring>
#include <thread>

#include "fake_fixture.h"
#include "system_audio/coreaudio/io_proc.h"

namespace system_audio {
namespace {

using RunningSession = testing::FakeHalTest;

TEST_F(RunningSession, CyclesFromTwoThreadsAllReachThePcmChannelMixedDown) {
  auto session = start();
  ASSERT_TRUE(session) << session.error();
  // 48 kHz in, 16 kHz out: 480 frames a cycle become 160 samples of 0.5.
  std::vector<float> stereo(960, 0.25f);
  for (std::size_t i = 1; i < stereo.size(); i += 2) stereo[i] = 0.75f;
  const auto cycles = [](std::vector<float> cycle, UInt32 channels) {
    for (int i = 0; i < 100; ++i) EXPECT_TRUE(fake::deliver_io_cycle({cycle}, channels));
  };
  std::thread mono_cycles(cycles, std::vector(480, 0.5f), 1), stereo_cycles(cycles, stereo, 2);
  std::size_t chunks = 0, samples = 0, off_value = 0;
  while (chunks < 200) {
    auto received = pcm_rx.receive_for(std::chrono::seconds(5));
    ASSERT_EQ(received.status, ReceiveStatus::message) << "after " << chunks << " chunks";
    std::vector<float> values(received.message->size() / sizeof(float));
    std::memcpy(values.data(), received.message->data(), received.message->size());
    off_value += values.size() - std::size_t(std::ranges::count(values, 0.5f));
    samples += values.size();
    ++chunks;
  }
  mono_cycles.join();
  stereo_cycles.join();
  fake::wait_until_delivered();
  EXPECT_EQ(off_value, 0u);
  EXPECT_GE(samples, 200u * 160 - 1);
  EXPECT_EQ(status_rx.receive_for(std::chrono::seconds(0)).message, "receiving");
  EXPECT_EQ(status_rx.receive_for(std::chrono::seconds(0)).status, ReceiveStatus::timed_out);
  EXPECT_EQ(fake::leftovers(),
            (std::vector<std::string>{"tap 77", "aggregate device 88", "IOProc#1",
                                      "CATapDescription", "AudioDeviceIOBlock",
                                      "dispatch_queue \"com.vantle.audio-helper.audio-tap\""}));
}

TEST_F(RunningSession, ReleasedWithItsHalObjectsLeavesNothingBehind) {
  auto session = start();
  ASSERT_TRUE(session) << session.error();
  ASSERT_TRUE(fake::deliver_io_cycle({std::vector(480, 0.5f)}));
  fake::wait_until_delivered();  // the IOProc's last call is over: its state may go
  EXPECT_EQ(pcm_rx.receive_for(std::chrono::seconds(5)).status, ReceiveStatus::message);
  const std::size_t before = fake::log().size();
  const auto io_proc = session->io_proc_id;
  session->release();
  EXPECT_TRUE(pcm_closed());
  cleanup_hal(77, 88, io_proc);
  const auto log = fake::log();
  EXPECT_EQ(std::vector(log.begin() + std::ptrdiff_t(before), log.end()),
            (std::vector<std::string>{
                "NSObject_release(CATapDescription)", "Block_release(AudioDeviceIOBlock)",
                "dispatch_release(dispatch_queue \"com.vantle.audio-helper.audio-tap\")",
                "AudioDeviceDestroyIOProcID(88, IOProc#1)",
                "AudioHardwareDestroyAggregateDevice(88)", "AudioHardwareDestroyProcessTap(77)"}));
  EXPECT_FALSE(fake::deliver_io_cycle({std::vector(480, 0.5f)}));
  EXPECT_EQ(fake::leftovers(), std::vector<std::string>{});
}

}  // namespace
}  // namespace system_audio
