// IO over a private server: an IOProc on the aggregate device receives what is
// played into the sink, cycle after cycle on its own serial queue, and nothing
// once it, its aggregate or its tap is destroyed.

#include <gtest/gtest.h>

#include <atomic>

#include "hal_test_objects.h"
#include "shared_server.h"
#include "tone_check.h"

namespace {

using namespace pulse_test;
using test_support::PrivateAudioServer;
namespace standin = system_audio::standin;

constexpr const char* kQueueLabel = "com.vantle.audio-helper.audio-tap";
constexpr std::size_t kToneFrames = 24000;   // 0.5 s at the sink's rate
constexpr std::size_t kLeadInFrames = 4800;  // 0.1 s of silence before it
constexpr std::size_t kCycleFrames = 480;    // 10 ms at the sink's rate

// A tap chain with one started IOProc whose block records into recorder.
struct RunningIo {
  std::unique_ptr<TapChain> chain;
  CycleRecorder recorder;
  dispatch_queue_t queue = nullptr;
  AudioDeviceIOBlock block = nullptr;
  AudioDeviceIOProcID io_proc = nullptr;

  ~RunningIo() {
    if (io_proc != nullptr) AudioDeviceDestroyIOProcID(chain->aggregate, io_proc);
    if (block != nullptr) Block_release(block);
    if (queue != nullptr) dispatch_release(queue);
  }
  OSStatus destroy_io_proc() {
    const OSStatus status = AudioDeviceDestroyIOProcID(chain->aggregate, io_proc);
    io_proc = nullptr;
    return status;
  }
  // True when no cycle arrives for a while after whatever ended them.
  bool cycles_have_ended() {
    const std::size_t ended_at = recorder.cycle_count();
    std::this_thread::sleep_for(150ms);
    return recorder.cycle_count() == ended_at;
  }
};

std::unique_ptr<RunningIo> start_io(bool mono_mixdown, std::size_t wait_for_cycles = 3) {
  auto io = std::make_unique<RunningIo>();
  io->chain = make_tap_chain(mono_mixdown);
  if (!io->chain) return nullptr;
  io->queue = dispatch_queue_create(kQueueLabel, DISPATCH_QUEUE_SERIAL);
  io->recorder.expected_queue = io->queue;
  io->block = AudioDeviceIOBlock_create(record_cycle, &io->recorder);
  EXPECT_STATUS(0, AudioDeviceCreateIOProcIDWithBlock(&io->io_proc, io->chain->aggregate, io->queue,
                                                      io->block));
  EXPECT_STATUS(0, AudioDeviceStart(io->chain->aggregate, io->io_proc));
  // Silence comes before anything plays: capture is continuous.
  EXPECT_TRUE(eventually([&] { return io->recorder.cycle_count() >= wait_for_cycles; }));
  return io;
}

// The played tone arrives whole: no piece lost, repeated or reordered.
void expect_whole_tone(const std::vector<float>& mono) {
  const auto tone = find_tone(mono, 440, PrivateAudioServer::kSinkRate, 0.05f);
  ASSERT_TRUE(tone.found);
  EXPECT_NEAR(double(tone.last - tone.first + 1), double(kToneFrames), 8.0);
  EXPECT_LT(tone.worst_break, 1e-3);
}

void play_tone() {
  auto played =
      shared_server().play(test_support::stereo_sine(440, 0.5, kToneFrames, kLeadInFrames));
  ASSERT_TRUE(played.has_value()) << played.error();
  std::this_thread::sleep_for(200ms);
}

class ToneThroughIoProc : public ::testing::TestWithParam<bool> {};

TEST_P(ToneThroughIoProc, ArrivesWholeInOrderedTenMillisecondCyclesOnTheQueue) {
  const bool mono_mixdown = GetParam();
  const UInt32 channels = mono_mixdown ? 1 : PrivateAudioServer::kSinkChannels;
  auto io = start_io(mono_mixdown, 5);
  ASSERT_TRUE(io);
  play_tone();
  EXPECT_STATUS(0, io->destroy_io_proc());

  std::lock_guard lock(io->recorder.mutex);
  EXPECT_EQ(io->recorder.off_queue_calls, 0u);
  EXPECT_EQ(standin::queue_label(io->queue), kQueueLabel);
  ASSERT_EQ(io->recorder.shapes.size(), io->recorder.cycles);
  const auto shape = std::make_tuple(1u, channels, UInt32(kCycleFrames * channels * sizeof(float)));
  for (std::size_t i = 0; i < io->recorder.cycles; ++i) {
    ASSERT_EQ(io->recorder.shapes[i], shape) << "cycle " << i;
  }
  const auto first = channel_of(io->recorder.samples, channels, 0);
  expect_whole_tone(first);
  if (channels == 2) {
    EXPECT_EQ(first, channel_of(io->recorder.samples, 2, 1));
  }
}

INSTANTIATE_TEST_SUITE_P(MonoMixdownOrSinkChannels, ToneThroughIoProc, ::testing::Bool());

TEST(IoProc, StartingTwiceKeepsOneStreamOfCycles) {
  auto io = start_io(true, 0);
  ASSERT_TRUE(io);
  EXPECT_STATUS(0, AudioDeviceStart(io->chain->aggregate, io->io_proc));
  play_tone();
  EXPECT_STATUS(0, io->destroy_io_proc());
  // Two streams into one block would interleave their cycles and break the tone.
  expect_whole_tone(io->recorder.copy_samples());
}

TEST(IoProc, NoCycleReachesTheBlockAfterItsDestroyReturns) {
  auto io = start_io(true);
  ASSERT_TRUE(io);
  const AudioDeviceIOProcID destroyed = io->io_proc;
  EXPECT_STATUS(0, io->destroy_io_proc());
  EXPECT_TRUE(io->cycles_have_ended());
  EXPECT_STATUS(kAudioHardwareBadObjectError,
                AudioDeviceDestroyIOProcID(io->chain->aggregate, destroyed));
  EXPECT_STATUS(kAudioHardwareBadObjectError, AudioDeviceStart(io->chain->aggregate, destroyed));
}

TEST(IoProc, DestroyReleasesExactlyTheReferencesItTookOnBlockAndQueue) {
  standin::reset_ledger();
  auto io = start_io(true, 1);
  ASSERT_TRUE(io);
  EXPECT_STATUS(0, io->destroy_io_proc());
  Block_release(io->block);
  dispatch_release(io->queue);
  EXPECT_FALSE(standin::kind_of(io->block).has_value()) << "block still alive";
  EXPECT_FALSE(standin::kind_of(io->queue).has_value()) << "queue still alive";
  io->block = nullptr;
  io->queue = nullptr;
  EXPECT_TRUE(standin::faults().empty());
}

TEST(IoProc, DestroyingTheAggregateInUseEndsItsCycles) {
  auto io = start_io(true);
  ASSERT_TRUE(io);
  EXPECT_STATUS(0, AudioHardwareDestroyAggregateDevice(io->chain->aggregate));
  EXPECT_TRUE(io->cycles_have_ended());
  EXPECT_STATUS(kAudioHardwareBadDeviceError, io->destroy_io_proc());
  io->chain->aggregate = 0;
}

TEST(IoProc, DestroyingTheTapInUseEndsTheCyclesAndTheDeviceCannotStartAgain) {
  auto io = start_io(true);
  ASSERT_TRUE(io);
  EXPECT_STATUS(0, AudioHardwareDestroyProcessTap(io->chain->tap));
  io->chain->tap = 0;
  standin::wait_until_idle(io->queue);
  EXPECT_TRUE(io->cycles_have_ended());
  EXPECT_STATUS(kAudioHardwareIllegalOperationError,
                AudioDeviceStart(io->chain->aggregate, io->io_proc));
}

// A block that destroys its own IOProc on its third cycle.
struct SelfDestroying {
  AudioObjectID aggregate = 0;
  AudioDeviceIOProcID io_proc = nullptr;
  std::atomic<int> cycles{0};
  std::atomic<int> calls_after_destroy{0};
  std::atomic<bool> destroyed{false};
  std::atomic<OSStatus> status{1};
};

void destroy_on_third_cycle(void* context, const AudioTimeStamp*, const AudioBufferList*,
                            const AudioTimeStamp*, AudioBufferList*, const AudioTimeStamp*) {
  auto* state = static_cast<SelfDestroying*>(context);
  if (state->destroyed) {
    ++state->calls_after_destroy;
  } else if (++state->cycles == 3) {
    state->status = AudioDeviceDestroyIOProcID(state->aggregate, state->io_proc);
    state->destroyed = true;
  }
}

TEST(IoProc, ABlockThatDestroysItsOwnIoProcGetsNoFurtherCycle) {
  SelfDestroying state;
  auto chain = make_tap_chain(true);
  ASSERT_TRUE(chain);
  dispatch_queue_t queue = dispatch_queue_create(kQueueLabel, DISPATCH_QUEUE_SERIAL);
  AudioDeviceIOBlock block = AudioDeviceIOBlock_create(destroy_on_third_cycle, &state);
  state.aggregate = chain->aggregate;
  ASSERT_EQ(AudioDeviceCreateIOProcIDWithBlock(&state.io_proc, state.aggregate, queue, block), 0);
  ASSERT_EQ(AudioDeviceStart(state.aggregate, state.io_proc), 0);
  EXPECT_TRUE(eventually([&] { return state.destroyed.load(); }));
  std::this_thread::sleep_for(100ms);
  EXPECT_STATUS(0, state.status.load());
  EXPECT_EQ(state.calls_after_destroy, 0);
  Block_release(block);
  dispatch_release(queue);
  EXPECT_TRUE(standin::faults().empty());
}

TEST(IoProc, CreationChecksTheDeviceQueueAndBlock) {
  auto chain = make_tap_chain(true);
  ASSERT_TRUE(chain);
  CycleRecorder recorder;
  dispatch_queue_t queue = dispatch_queue_create(kQueueLabel, DISPATCH_QUEUE_SERIAL);
  AudioDeviceIOBlock block = AudioDeviceIOBlock_create(record_cycle, &recorder);
  AudioDeviceIOProcID io_proc = nullptr;
  const AudioObjectID aggregate = chain->aggregate;
  EXPECT_STATUS(kAudioHardwareBadDeviceError,
                AudioDeviceCreateIOProcIDWithBlock(&io_proc, 999999, queue, block));
  // The sink is a device, but IOProcs run on the aggregate device.
  EXPECT_STATUS(kAudioHardwareIllegalOperationError,
                AudioDeviceCreateIOProcIDWithBlock(&io_proc, chain->device, queue, block));
  EXPECT_STATUS(kAudio_ParamError,
                AudioDeviceCreateIOProcIDWithBlock(&io_proc, aggregate, nullptr, block));
  EXPECT_STATUS(kAudio_ParamError,
                AudioDeviceCreateIOProcIDWithBlock(&io_proc, aggregate, queue, nullptr));
  EXPECT_STATUS(kAudio_ParamError,
                AudioDeviceCreateIOProcIDWithBlock(nullptr, aggregate, queue, block));
  EXPECT_EQ(io_proc, nullptr);
  EXPECT_STATUS(kAudioHardwareBadDeviceError, AudioDeviceStart(999999, io_proc));
  EXPECT_STATUS(kAudioHardwareBadObjectError, AudioDeviceStart(aggregate, nullptr));
  Block_release(block);
  dispatch_release(queue);
  EXPECT_EQ(recorder.cycle_count(), 0u);
}

}  // namespace
