// The Linux binding on a private audio server: a capture released while its
// IO block runs waits for that call to end, and no call follows, so what the
// block uses may go right after. Raced many times; under the sanitizers a
// call that outlived its release touches freed memory.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "private_audio_server.h"
#include "system_audio/coreaudio/coreaudio_session.h"

namespace system_audio {
namespace {

using namespace std::chrono_literals;

struct Visit {
  std::atomic<bool> inside{false};
  std::vector<float> heard;
};

// Lingers in the block, touching what the capture owns.
void linger(void* context, const AudioTimeStamp*, const AudioBufferList* input,
            const AudioTimeStamp*, AudioBufferList*, const AudioTimeStamp*) {
  auto& visit = *static_cast<Visit*>(context);
  visit.inside = true;
  std::this_thread::sleep_for(2ms);
  const auto* samples = static_cast<const float*>(input->mBuffers[0].mData);
  visit.heard.assign(samples, samples + input->mBuffers[0].mDataByteSize / 4);
  visit.inside = false;
}

TEST(LinuxBinding, ReleasingACaptureWaitsForTheIoBlockInProgress) {
  auto server = test_support::PrivateAudioServer::start();
  ASSERT_TRUE(server) << server.error();
  (*server)->use_in_this_process();
  // A running session's aggregate device, to which captures of our own are added.
  auto [pcm_tx, pcm_rx] = make_channel<PcmChunk>();
  auto [status_tx, status_rx] = make_channel<StatusText>();
  auto session = CoreAudioSession::start({}, std::move(pcm_tx), std::move(status_tx));
  ASSERT_TRUE(session) << session.error();
  const AudioObjectID device = session->hal.aggregate_id;
  for (int round = 0; round < 50; ++round) {
    auto visit = std::make_unique<Visit>();
    const BlockRef<AudioDeviceIOBlock> block(
        apple::AudioDeviceIOBlock_create(&linger, visit.get(), nullptr));
    AudioDeviceIOProcID io_proc = nullptr;
    ASSERT_EQ(
        AudioDeviceCreateIOProcIDWithBlock(&io_proc, device, session->queue.get(), block.get()), 0);
    ASSERT_EQ(AudioDeviceStart(device, io_proc), 0);
    for (const auto deadline = std::chrono::steady_clock::now() + 5s; !visit->inside;) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no IO cycle in round " << round;
      std::this_thread::sleep_for(100us);
    }
    AudioDeviceDestroyIOProcID(device, io_proc);
    ASSERT_FALSE(visit->inside) << "released during the call of round " << round;
  }
}

}  // namespace
}  // namespace system_audio
