// Audio delivered by the HAL through the started session's IOProc block reaches
// the channels while another thread receives from them, as the frame's pump does.

#include <cstring>
#include <thread>

#include "fake_fixture.h"
#include "system_audio/conversion/linear_resampler.h"
#include "system_audio/conversion/low_pass_filter.h"
#include "system_audio/conversion/pcm_chunk.h"
#include "system_audio/coreaudio/coreaudio_session.h"
#include "system_audio/coreaudio/io_proc.h"

namespace system_audio {
namespace {

using testing::FakeHalTest;

std::vector<float> ramp(std::size_t first, std::size_t count) {
  std::vector<float> samples(count);
  for (std::size_t i = 0; i < count; ++i) samples[i] = float(first + i) / 65536.0f;
  return samples;
}

// What the frame's two loops see, gathered on their own thread.
struct Received {
  std::vector<PcmChunk> chunks;
  std::vector<StatusText> statuses;
  bool receiving_before_first_chunk = false;
};

class IoCycleDelivery : public FakeHalTest {
 protected:
  void start_session() {
    auto [pcm_tx, status_tx] = senders();
    testing::DiagnosticsCapture diagnostics;
    auto started = CoreAudioSession::start(std::move(pcm_tx), std::move(status_tx));
    ASSERT_TRUE(started) << started.error();
    session_ = std::move(*started);
  }

  // Receives until the PCM channel closes, then drains the status channel.
  void start_receiver() {
    receiver_ = std::thread(
        [this, pcm_rx = std::move(pcm_rx_), status_rx = std::move(status_rx_)]() mutable {
          while (auto chunk = pcm_rx.receive()) {
            if (received_.chunks.empty()) {
              // "receiving" was sent before the first chunk, so it is already queued.
              auto status = status_rx.receive_for(std::chrono::milliseconds(0));
              received_.receiving_before_first_chunk = status.message == "receiving";
              if (status.message) received_.statuses.push_back(*status.message);
            }
            received_.chunks.push_back(std::move(*chunk));
          }
          while (auto status = status_rx.receive()) received_.statuses.push_back(*status);
        });
  }

  // Stops the IOProc, lets queued cycles finish, then releases the session,
  // which closes the channels and ends the receiver.
  void stop_and_join() {
    cleanup_hal(session_.tap_id, session_.aggregate_id, session_.io_proc_id);
    fake::wait_until_delivered();
    standin::wait_until_idle(session_.queue.get());
    session_.release();
    if (receiver_.joinable()) receiver_.join();
  }

  void TearDown() override {
    if (session_.state) stop_and_join();
    EXPECT_TRUE(fake::hal_faults().empty()) << ::testing::PrintToString(fake::hal_faults());
    EXPECT_TRUE(fake::leftovers().empty()) << ::testing::PrintToString(fake::leftovers());
    FakeHalTest::TearDown();
  }

  CoreAudioSession session_;
  std::thread receiver_;
  Received received_;
};

TEST_F(IoCycleDelivery, ReceivingThenEveryChunkInOrderWithTheResampledBytes) {
  start_session();
  start_receiver();
  constexpr std::size_t kCycles = 60, kFrames = 512;
  LowPassFilter filter(48000.0);
  LinearResampler reference(48000.0);
  std::vector<PcmChunk> expected;
  for (std::size_t cycle = 0; cycle < kCycles; ++cycle) {
    auto samples = ramp(cycle * kFrames, kFrames);
    ASSERT_TRUE(fake::deliver_io_cycle({fake::float_buffer(1, samples)}));
    low_pass(filter, reference, samples);
    const auto out = reference.process(samples);
    if (!out.empty()) expected.push_back(encode_pcm_chunk(out));
  }
  fake::wait_until_delivered();
  EXPECT_EQ(fake::delivered_cycles(), kCycles);
  stop_and_join();

  EXPECT_EQ(received_.statuses, std::vector<StatusText>{"receiving"});
  EXPECT_TRUE(received_.receiving_before_first_chunk);
  ASSERT_EQ(received_.chunks.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(received_.chunks[i], expected[i]) << "chunk " << i;
  }
}

TEST_F(IoCycleDelivery, UnusableCyclesSendNothingAndDoNotReportReceiving) {
  start_session();
  ASSERT_TRUE(fake::deliver_io_cycle(std::vector<fake::CycleBuffer>{}));
  ASSERT_TRUE(fake::deliver_io_cycle({fake::CycleBuffer{1, std::vector<std::uint8_t>(64), true}}));
  fake::wait_until_delivered();
  EXPECT_EQ(fake::delivered_cycles(), 2u);
  start_receiver();
  stop_and_join();
  EXPECT_TRUE(received_.chunks.empty());
  EXPECT_TRUE(received_.statuses.empty());
}

TEST_F(IoCycleDelivery, NothingArrivesOnceTheIoProcIsDestroyed) {
  start_session();
  start_receiver();
  ASSERT_TRUE(fake::deliver_io_cycle({fake::float_buffer(1, ramp(0, 480))}));
  fake::wait_until_delivered();
  cleanup_hal(session_.tap_id, session_.aggregate_id, session_.io_proc_id);
  EXPECT_FALSE(fake::deliver_io_cycle({fake::float_buffer(1, ramp(480, 480))}));
  stop_and_join();
  EXPECT_EQ(received_.chunks.size(), 1u);
}

// ---- The block itself ------------------------------------------------------------------

TEST_F(IoCycleDelivery, BlockLeavesTheOutputListUntouched) {
  start_session();
  start_receiver();
  const auto samples = ramp(0, 96);
  AudioBufferList input{
      1, {{1, std::uint32_t(samples.size() * 4), const_cast<float*>(samples.data())}}};
  std::vector<float> output_data(64, 1234.5f);
  AudioBufferList output{1, {{1, 256, output_data.data()}}};
  const AudioBufferList output_before = output;
  // Called here on the test thread: the queue is idle, and the state's lock
  // orders this call against any other.
  ASSERT_TRUE(standin::invoke_io_block(session_.io_block.get(), &input, &output));
  EXPECT_EQ(std::memcmp(&output, &output_before, sizeof output), 0);
  EXPECT_EQ(output_data, std::vector<float>(64, 1234.5f));
  // No input list at all: nothing is sent.
  ASSERT_TRUE(standin::invoke_io_block(session_.io_block.get(), nullptr));
  stop_and_join();
  EXPECT_EQ(received_.chunks.size(), 1u);
}

}  // namespace
}  // namespace system_audio
