#include <cstring>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fake_fixture.h"

namespace system_audio::fake {
namespace {

// What the IO block saw: the first sample of every input buffer, per cycle.
struct Recorder {
  std::mutex mutex;
  std::vector<std::vector<float>> cycles;
  std::vector<dispatch_queue_t> queues;
  std::vector<std::thread::id> threads;
  bool scribble = false;
};

void record(void* context, const AudioTimeStamp*, const AudioBufferList* input,
            const AudioTimeStamp*, AudioBufferList* output, const AudioTimeStamp*) {
  auto* recorder = static_cast<Recorder*>(context);
  std::vector<float> firsts;
  for (UInt32 i = 0; i < input->mNumberBuffers; ++i) {
    const AudioBuffer& buffer = input->mBuffers[i];
    float first = -1.0f;
    if (buffer.mData != nullptr && buffer.mDataByteSize >= sizeof first) {
      std::memcpy(&first, buffer.mData, sizeof first);
    }
    firsts.push_back(first);
  }
  std::lock_guard lock(recorder->mutex);
  if (recorder->scribble) static_cast<std::uint8_t*>(output->mBuffers[0].mData)[0] = 0;
  recorder->cycles.push_back(std::move(firsts));
  recorder->queues.push_back(standin::current_queue());
  recorder->threads.push_back(std::this_thread::get_id());
}

// An aggregate device, a queue and a recording block; our own queue and block
// references are released at the end unless a test already did.
class FakeIoDelivery : public FakeTest {
 protected:
  void SetUp() override {
    FakeTest::SetUp();
    CFDictionaryRef description = aggregate_description("none");
    ASSERT_EQ(AudioHardwareCreateAggregateDevice(description, &aggregate), 0);
    CFRelease(description);
    queue = dispatch_queue_create("com.vantle.test.audio-tap", nullptr);
    block = AudioDeviceIOBlock_create(record, &recorder);
  }
  void TearDown() override {
    wait_until_delivered();
    release_ours();
    FakeTest::TearDown();
  }
  void release_ours() {
    if (block != nullptr) Block_release(block);
    if (queue != nullptr) dispatch_release(queue);
    block = nullptr;
    queue = nullptr;
  }

  AudioDeviceIOProcID start(dispatch_queue_t on) {
    AudioDeviceIOProcID proc = nullptr;
    EXPECT_EQ(AudioDeviceCreateIOProcIDWithBlock(&proc, aggregate, on, block), 0);
    EXPECT_EQ(AudioDeviceStart(aggregate, proc), 0);
    return proc;
  }

  Recorder recorder;
  AudioObjectID aggregate = 0;
  dispatch_queue_t queue = nullptr;
  AudioDeviceIOBlock block = nullptr;
};

TEST_F(FakeIoDelivery, CyclesArriveInOrderOnTheIoProcsQueue) {
  start(queue);
  for (int i = 0; i < 100; ++i) {
    std::vector<float> samples = {float(i), 0.5f};
    ASSERT_TRUE(
        deliver_io_cycle({float_buffer(1, samples), float_buffer(2, {float(-i), 1, 2, 3})}));
  }
  wait_until_delivered();
  EXPECT_EQ(delivered_cycles(), 100u);
  std::lock_guard lock(recorder.mutex);
  ASSERT_EQ(recorder.cycles.size(), 100u);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(recorder.cycles[i], (std::vector<float>{float(i), float(-i)}));
    EXPECT_EQ(recorder.queues[i], queue);
    EXPECT_EQ(recorder.threads[i], recorder.threads[0]);
  }
  EXPECT_TRUE(hal_faults().empty());
}

TEST_F(FakeIoDelivery, TheHalsOwnLayoutIsCopiedBeforeDelivery) {
  start(queue);
  float sample = 7.0f;
  AudioBufferList list{1, {{1, sizeof sample, &sample}}};
  ASSERT_TRUE(deliver_io_cycle(list));
  sample = 8.0f;  // the caller's buffer may change once the call returns
  wait_until_delivered();
  std::lock_guard lock(recorder.mutex);
  EXPECT_EQ(recorder.cycles, (std::vector<std::vector<float>>{{7.0f}}));
}

TEST_F(FakeIoDelivery, AnIoProcDestroyedBeforeItsTurnReceivesNothing) {
  AudioDeviceIOProcID proc = start(queue);
  std::promise<void> gate;
  standin::dispatch_async(queue, [opened = gate.get_future().share()] { opened.wait(); });
  ASSERT_TRUE(deliver_io_cycle({float_buffer(1, {1.0f})}));
  EXPECT_EQ(AudioDeviceDestroyIOProcID(aggregate, proc), 0);
  gate.set_value();
  wait_until_delivered();
  EXPECT_EQ(delivered_cycles(), 0u);
  EXPECT_FALSE(deliver_io_cycle({float_buffer(1, {1.0f})}));
  release_ours();
  AudioHardwareDestroyAggregateDevice(aggregate);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(FakeIoDelivery, OnlyAStartedIoProcIsDeliveredTo) {
  AudioDeviceIOProcID proc = nullptr;
  ASSERT_EQ(AudioDeviceCreateIOProcIDWithBlock(&proc, aggregate, queue, block), 0);
  EXPECT_FALSE(deliver_io_cycle({float_buffer(1, {1.0f})}));
  script().start_status = kAudioHardwareNotRunningError;
  EXPECT_EQ(AudioDeviceStart(aggregate, proc), kAudioHardwareNotRunningError);
  EXPECT_FALSE(deliver_io_cycle({float_buffer(1, {1.0f})}));
}

TEST_F(FakeIoDelivery, ABlockThatWritesIntoTheOutputListIsRecorded) {
  recorder.scribble = true;
  start(queue);
  ASSERT_TRUE(deliver_io_cycle({float_buffer(1, {1.0f})}));
  wait_until_delivered();
  EXPECT_EQ(hal_faults(), std::vector<std::string>{"IOProc#1 wrote into the output buffer list"});
}

TEST_F(FakeIoDelivery, WithoutAQueueTheBlockRunsOnTheDeliveringThread) {
  start(nullptr);
  ASSERT_TRUE(deliver_io_cycle({CycleBuffer{1, {1, 2, 3, 4, 5, 6}, true}}));
  std::lock_guard lock(recorder.mutex);
  ASSERT_EQ(recorder.cycles.size(), 1u);
  EXPECT_EQ(recorder.cycles[0], std::vector<float>{-1.0f});  // null data stays null
  EXPECT_EQ(recorder.threads[0], std::this_thread::get_id());
  EXPECT_EQ(recorder.queues[0], nullptr);
}

}  // namespace
}  // namespace system_audio::fake
