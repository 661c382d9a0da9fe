// The audio-server binding under the coreaudio backend: a start that meets a
// server that never answers fails within its bound, and a capture whose server
// goes away can still be torn down completely, with nothing left alive; a tap
// of chosen processes only is refused.

#include <gtest/gtest.h>

#include "private_audio_server.h"
#include "system_audio/apple/apple_ref.h"
#include "system_audio/apple/standin/runtime.h"
#include "system_audio/coreaudio/coreaudio_session.h"
#include "system_audio/coreaudio/io_proc.h"

namespace system_audio {
namespace {

using namespace std::chrono_literals;

class PulseBinding : public ::testing::Test {
 protected:
  std::unique_ptr<test_support::PrivateAudioServer> server =
      test_support::PrivateAudioServer::start().value();
  std::pair<PcmSender, PcmReceiver> pcm = make_channel<PcmChunk>();
  std::pair<StatusSender, StatusReceiver> status = make_channel<StatusText>();

  void SetUp() override { server->use_in_this_process(); }

  Result<CoreAudioSession> start() {
    ::testing::internal::CaptureStderr();
    auto session = CoreAudioSession::start(std::move(pcm.first), std::move(status.first));
    ::testing::internal::GetCapturedStderr();
    return session;
  }

  static std::vector<std::string> left_alive() {
    std::vector<std::string> left = standin::faults();
    for (const auto& object : standin::live_objects()) left.push_back(object);
    return left;
  }
};

TEST_F(PulseBinding, AStartAgainstAServerThatNeverAnswersFailsWithinItsBound) {
  server->freeze();
  const auto begun = std::chrono::steady_clock::now();
  const auto session = start();
  EXPECT_LT(std::chrono::steady_clock::now() - begun, 5s);
  server->thaw();
  EXPECT_EQ(session ? "<started>" : session.error(),
            "read default output device failed: OSStatus 1937010544 (stop)");
  EXPECT_EQ(left_alive(), std::vector<std::string>{});
}

TEST_F(PulseBinding, ACaptureWhoseServerWentAwayIsTornDownWithNothingLeftAlive) {
  auto session = start();
  ASSERT_TRUE(session) << session.error();
  ASSERT_TRUE(server->play(std::vector<float>(9600, 0.25f)));
  EXPECT_EQ(status.second.receive_for(5s).message, "receiving");
  server->stop();
  const auto begun = std::chrono::steady_clock::now();
  cleanup_hal(session->tap_id, session->aggregate_id, session->io_proc_id);
  EXPECT_LT(std::chrono::steady_clock::now() - begun, 5s);
  session->release();
  // The IOProc is gone: what it sent is still there, then the channel closes.
  while (pcm.second.receive_for(5s).status == ReceiveStatus::message) {
  }
  EXPECT_EQ(pcm.second.receive_for(0s).status, ReceiveStatus::closed);
  EXPECT_EQ(left_alive(), std::vector<std::string>{});
}

// A sink's monitor carries every client: a description that is not exclusive
// names the processes to tap (none here), which the monitor cannot honour.
TEST(PulseBindingTap, ATapOfChosenProcessesOnlyIsRefused) {
  using namespace apple;
  NsRef<NSArray> none(NSArray_new());
  NsRef<NSString> uid(
      NSString_alloc_initWithBytes_length_encoding("sink", 4, NSUTF8StringEncoding));
  NsRef<CATapDescription> tap(CATapDescription_initWithProcesses_andDeviceUID_withStream(
      CATapDescription_alloc(), none.get(), uid.get(), 0));
  ASSERT_TRUE(tap);
  AudioObjectID id = kAudioObjectUnknown;
  EXPECT_EQ(AudioHardwareCreateProcessTap(tap.get(), &id), kAudioHardwareIllegalOperationError);
  EXPECT_EQ(id, kAudioObjectUnknown);
}

}  // namespace
}  // namespace system_audio
