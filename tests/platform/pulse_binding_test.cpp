// The audio-server binding under the coreaudio backend: a start that meets a
// server that never answers fails within its bound, and a capture whose server
// goes away can still be torn down completely, with nothing left alive.

#include <gtest/gtest.h>

#include "private_audio_server.h"
#include "system_audio/coreaudio/coreaudio_session.h"
#include "system_audio/coreaudio/io_proc.h"
#include "system_audio/platform/standin/runtime.h"

namespace system_audio {
namespace {

using namespace std::chrono_literals;
using test_support::PrivateAudioServer;

struct Started {
  Result<CoreAudioSession> session;
  PcmReceiver pcm_rx;
  StatusReceiver status_rx;
};

Started start() {
  auto [pcm_tx, pcm_rx] = make_channel<PcmChunk>();
  auto [status_tx, status_rx] = make_channel<StatusText>();
  ::testing::internal::CaptureStderr();
  auto session = CoreAudioSession::start(std::move(pcm_tx), std::move(status_tx));
  ::testing::internal::GetCapturedStderr();
  return {std::move(session), std::move(pcm_rx), std::move(status_rx)};
}

std::unique_ptr<PrivateAudioServer> server() {
  auto started = PrivateAudioServer::start();
  if (!started) ADD_FAILURE() << started.error();
  if (!started) return nullptr;
  (*started)->use_in_this_process();
  return std::move(*started);
}

std::vector<std::string> left_alive() {
  std::vector<std::string> left = standin::faults();
  for (const auto& object : standin::live_objects()) left.push_back(object.description);
  return left;
}

TEST(PulseBinding, AStartAgainstAServerThatNeverAnswersFailsWithinItsBound) {
  auto audio_server = server();
  ASSERT_TRUE(audio_server);
  audio_server->freeze();
  const auto begun = std::chrono::steady_clock::now();
  const Started started = start();
  EXPECT_LT(std::chrono::steady_clock::now() - begun, 5s);
  audio_server->thaw();
  ASSERT_FALSE(started.session);
  EXPECT_EQ(started.session.error(),
            "read default output device failed: OSStatus 1937010544 (stop)");
  EXPECT_EQ(left_alive(), std::vector<std::string>{});
}

TEST(PulseBinding, ACaptureWhoseServerWentAwayIsTornDownWithNothingLeftAlive) {
  auto audio_server = server();
  ASSERT_TRUE(audio_server);
  Started started = start();
  ASSERT_TRUE(started.session) << started.session.error();
  ASSERT_TRUE(audio_server->play(std::vector<float>(9600, 0.25f)));
  EXPECT_EQ(started.status_rx.receive_for(5s).message, "receiving");
  audio_server->stop();
  CoreAudioSession& session = *started.session;
  const auto begun = std::chrono::steady_clock::now();
  cleanup_hal(session.tap_id, session.aggregate_id, session.io_proc_id);
  EXPECT_LT(std::chrono::steady_clock::now() - begun, 5s);
  session.release();
  // The IOProc is gone: what it sent is still there, then the channel closes.
  while (started.pcm_rx.receive_for(5s).status == ReceiveStatus::message) {
  }
  EXPECT_EQ(started.pcm_rx.receive_for(0s).status, ReceiveStatus::closed);
  EXPECT_EQ(left_alive(), std::vector<std::string>{});
}

}  // namespace
}  // namespace system_audio
