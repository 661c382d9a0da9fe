// The HAL when the audio server is missing, stuck, without a sink, or goes
// away while audio flows: every call returns, with the status of a HAL that is
// not running, and nothing crashes.

#include <gtest/gtest.h>

#include <cstdlib>

#include "hal_test_objects.h"
#include "private_audio_server.h"

namespace {

using namespace pulse_test;
using test_support::PrivateAudioServer;

// Generous: the point is that the call returns, not how fast.
constexpr auto kReturnBound = 5s;

std::unique_ptr<PrivateAudioServer> start_server(PrivateAudioServer::Options options = {}) {
  auto server = PrivateAudioServer::start(options);
  EXPECT_TRUE(server.has_value()) << server.error();
  if (!server) return nullptr;
  (*server)->use_in_this_process();
  return std::move(*server);
}

// The default device read, which must return within the bound.
OSStatus timed_default_device_read(AudioObjectID* device) {
  const auto started = std::chrono::steady_clock::now();
  const OSStatus status = read_default_device(device);
  EXPECT_LT(std::chrono::steady_clock::now() - started, kReturnBound);
  return status;
}

OSStatus create_tap_on(const char* device_uid) {
  CATapDescription* description = make_tap_description(device_uid, true);
  AudioObjectID tap = 0;
  const OSStatus status = AudioHardwareCreateProcessTap(description, &tap);
  NSObject_release(description);
  return status;
}

TEST(NoServer, TheFirstCallFailsPromptlyAsNotRunning) {
  setenv("PULSE_SERVER", "unix:/nonexistent/vantle-test/native", 1);
  AudioObjectID device = 4242;
  EXPECT_STATUS(kAudioHardwareNotRunningError, timed_default_device_read(&device));
  EXPECT_STATUS(kAudioHardwareNotRunningError, create_tap_on("vantle_null"));
}

TEST(StuckServer, ACallReturnsWithinItsBoundWhenTheServerNeverAnswers) {
  auto server = start_server();
  ASSERT_TRUE(server);
  server->freeze();
  AudioObjectID device = 0;
  EXPECT_STATUS(kAudioHardwareNotRunningError, timed_default_device_read(&device));
  server->thaw();
}

TEST(NoDefaultSink, TheDefaultDeviceIsUnknownAndATapOnTheOldNameFails) {
  auto server = start_server({.null_sink = false});
  ASSERT_TRUE(server);
  AudioObjectID device = 4242;
  EXPECT_STATUS(0, read_default_device(&device));
  EXPECT_EQ(device, kAudioObjectUnknown);
  EXPECT_STATUS(kAudioHardwareBadDeviceError, create_tap_on(PrivateAudioServer::kSinkName));
}

TEST(ServerGoesAway, CaptureEndsQuietlyLaterCallsReportNotRunningAndAStartResumesOnANewServer) {
  auto server = start_server();
  ASSERT_TRUE(server);
  auto chain = make_tap_chain(true);
  ASSERT_TRUE(chain);
  CycleRecorder recorder;
  dispatch_queue_t queue = dispatch_queue_create("test.faults", DISPATCH_QUEUE_SERIAL);
  recorder.expected_queue = queue;
  AudioDeviceIOBlock block = AudioDeviceIOBlock_create(record_cycle, &recorder);
  AudioDeviceIOProcID io_proc = nullptr;
  ASSERT_EQ(AudioDeviceCreateIOProcIDWithBlock(&io_proc, chain->aggregate, queue, block), 0);
  ASSERT_EQ(AudioDeviceStart(chain->aggregate, io_proc), 0);
  ASSERT_TRUE(eventually([&] { return recorder.cycle_count() >= 3; }));

  server->stop();
  // Cycles stop once the stream has failed; nothing crashes meanwhile.
  std::size_t settled = 0;
  EXPECT_TRUE(eventually([&] {
    const std::size_t now = recorder.cycle_count();
    std::this_thread::sleep_for(60ms);
    settled = recorder.cycle_count();
    return settled == now;
  }));

  AudioObjectID device = 0;
  EXPECT_STATUS(kAudioHardwareNotRunningError, timed_default_device_read(&device));
  // Objects made before still exist and are undone in order.
  AudioDeviceIOProcID second = nullptr;
  ASSERT_EQ(AudioDeviceCreateIOProcIDWithBlock(&second, chain->aggregate, queue, block), 0);
  EXPECT_STATUS(kAudioHardwareNotRunningError, AudioDeviceStart(chain->aggregate, second));
  EXPECT_STATUS(0, AudioDeviceDestroyIOProcID(chain->aggregate, second));

  // A server is back (with a sink of the same name): the IOProc starts anew.
  auto back = start_server();
  ASSERT_TRUE(back);
  EXPECT_STATUS(0, AudioDeviceStart(chain->aggregate, io_proc));
  EXPECT_TRUE(eventually([&] { return recorder.cycle_count() >= settled + 3; }));
  EXPECT_STATUS(0, AudioDeviceDestroyIOProcID(chain->aggregate, io_proc));
  chain.reset();
  Block_release(block);
  dispatch_release(queue);
  EXPECT_EQ(recorder.off_queue_calls, 0u);
  EXPECT_TRUE(system_audio::standin::faults().empty());
}

TEST(ServerComesBack, ACallAfterANewServerStartsReachesIt) {
  {
    auto first = start_server();
    ASSERT_TRUE(first);
    AudioObjectID device = 0;
    ASSERT_EQ(read_default_device(&device), 0);
  }
  auto second = start_server();
  ASSERT_TRUE(second);
  AudioObjectID device = 0;
  EXPECT_STATUS(0, read_default_device(&device));
  EXPECT_NE(device, kAudioObjectUnknown);
}

}  // namespace
