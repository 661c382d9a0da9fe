// IO over a private server: an IOProc on the aggregate device receives what is
// played into the sink, cycle after cycle on its own serial queue, and nothing
// once it, its aggregate or its tap is destroyed.

#include <gtest/gtest.h>

#include <atomic>

#include "hal_test_objects.h"
#include "shared_server.h"
#include "system_audio/coreaudio/standin/standin_runtime.h"
#include "tone_check.h"

namespace {

using namespace pulse_test;
using namespace std::chrono_literals;
using test_support::PrivateAudioServer;
namespace standin = system_audio::standin;

#define EXPECT_STATUS(expected, call) EXPECT_EQ(status_text(call), status_text(expected))

constexpr const char* kQueueLabel = "com.vantle.audio-helper.audio-tap";
constexpr std::size_t kToneFrames = 24000;   // 0.5 s at the sink's rate
constexpr std::size_t kLeadInFrames = 4800;  // 0.1 s of silence before it
constexpr std::size_t kCycleFrames = 480;    // 10 ms at the sink's rate

// A tap chain with one IOProc whose block records into recorder.
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
};

std::unique_ptr<RunningIo> start_io(bool mono_mixdown, AudioDeviceIOFunction body = record_cycle,
                                    void* context = nullptr) {
  auto io = std::make_unique<RunningIo>();
  auto chain = make_tap_chain(mono_mixdown);
  if (!chain) return nullptr;
  io->chain = std::move(*chain);
  io->queue = dispatch_queue_create(kQueueLabel, DISPATCH_QUEUE_SERIAL);
  io->recorder.expected_queue = io->queue;
  io->block = AudioDeviceIOBlock_create(body, context != nullptr ? context : &io->recorder);
  EXPECT_STATUS(0, AudioDeviceCreateIOProcIDWithBlock(&io->io_proc, io->chain->aggregate, io->queue,
                                                      io->block));
  EXPECT_NE(io->io_proc, nullptr);
  EXPECT_STATUS(0, AudioDeviceStart(io->chain->aggregate, io->io_proc));
  return io;
}

class ToneThroughIoProc : public ::testing::TestWithParam<bool> {};

TEST_P(ToneThroughIoProc, ArrivesWholeInOrderedTenMillisecondCyclesOnTheQueue) {
  const bool mono_mixdown = GetParam();
  const UInt32 channels = mono_mixdown ? 1 : PrivateAudioServer::kSinkChannels;
  auto io = start_io(mono_mixdown);
  ASSERT_TRUE(io);
  // Silence comes before anything plays: capture is continuous.
  ASSERT_TRUE(eventually([&] { return io->recorder.cycle_count() >= 5; }, 5000ms));
  auto played =
      shared_server().play(test_support::stereo_sine(440, 0.5, kToneFrames, kLeadInFrames));
  ASSERT_TRUE(played.has_value()) << played.error();
  std::this_thread::sleep_for(200ms);
  EXPECT_STATUS(0, AudioDeviceDestroyIOProcID(io->chain->aggregate, io->io_proc));
  io->io_proc = nullptr;

  std::lock_guard lock(io->recorder.mutex);
  EXPECT_EQ(io->recorder.off_queue_calls, 0u);
  EXPECT_EQ(standin::queue_label(io->queue), kQueueLabel);
  for (std::size_t i = 0; i < io->recorder.cycles; ++i) {
    ASSERT_EQ(io->recorder.buffer_counts[i], 1u) << "cycle " << i;
    ASSERT_EQ(io->recorder.channel_counts[i], channels) << "cycle " << i;
    ASSERT_EQ(io->recorder.byte_sizes[i], kCycleFrames * channels * sizeof(float)) << "cycle " << i;
  }
  const auto first = channel_of(io->recorder.samples, channels, 0);
  const auto tone = find_tone(first, 440, PrivateAudioServer::kSinkRate, 0.05f);
  ASSERT_TRUE(tone.found);
  EXPECT_NEAR(double(tone.last - tone.first + 1), double(kToneFrames), 8.0);
  EXPECT_LT(tone.worst_break, 1e-3);
  if (channels == 2) {
    EXPECT_EQ(first, channel_of(io->recorder.samples, 2, 1));
  }
}

INSTANTIATE_TEST_SUITE_P(MonoMixdownOrSinkChannels, ToneThroughIoProc, ::testing::Bool());

TEST(IoProc, NoCycleReachesTheBlockAfterItsDestroyReturns) {
  auto io = start_io(true);
  ASSERT_TRUE(io);
  ASSERT_TRUE(eventually([&] { return io->recorder.cycle_count() >= 3; }, 5000ms));
  EXPECT_STATUS(0, AudioDeviceDestroyIOProcID(io->chain->aggregate, io->io_proc));
  const std::size_t at_destroy = io->recorder.cycle_count();
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(io->recorder.cycle_count(), at_destroy);
  EXPECT_STATUS(kAudioHardwareBadObjectError,
                AudioDeviceDestroyIOProcID(io->chain->aggregate, io->io_proc));
  EXPECT_STATUS(kAudioHardwareBadObjectError, AudioDeviceStart(io->chain->aggregate, io->io_proc));
  io->io_proc = nullptr;
}

TEST(IoProc, DestroyReleasesExactlyTheReferencesItTookOnBlockAndQueue) {
  standin::reset_ledger();
  auto io = start_io(true);
  ASSERT_TRUE(io);
  ASSERT_TRUE(eventually([&] { return io->recorder.cycle_count() >= 1; }, 5000ms));
  EXPECT_STATUS(0, AudioDeviceDestroyIOProcID(io->chain->aggregate, io->io_proc));
  io->io_proc = nullptr;
  Block_release(io->block);
  dispatch_release(io->queue);
  EXPECT_FALSE(standin::kind_of(io->block).has_value()) << "block still alive";
  EXPECT_FALSE(standin::kind_of(io->queue).has_value()) << "queue still alive";
  io->block = nullptr;
  io->queue = nullptr;
  EXPECT_TRUE(standin::faults().empty());
}

TEST(IoProc, StartingTwiceKeepsOneStreamOfCycles) {
  auto io = start_io(true);
  ASSERT_TRUE(io);
  EXPECT_STATUS(0, AudioDeviceStart(io->chain->aggregate, io->io_proc));
  auto played =
      shared_server().play(test_support::stereo_sine(440, 0.5, kToneFrames, kLeadInFrames));
  ASSERT_TRUE(played.has_value()) << played.error();
  std::this_thread::sleep_for(200ms);
  EXPECT_STATUS(0, AudioDeviceDestroyIOProcID(io->chain->aggregate, io->io_proc));
  io->io_proc = nullptr;
  // Two streams into one block would interleave their cycles and break the tone.
  const auto tone = find_tone(io->recorder.copy_samples(), 440, 48000, 0.05f);
  ASSERT_TRUE(tone.found);
  EXPECT_NEAR(double(tone.last - tone.first + 1), double(kToneFrames), 8.0);
  EXPECT_LT(tone.worst_break, 1e-3);
}

TEST(IoProc, DestroyingTheAggregateInUseEndsItsCycles) {
  auto io = start_io(true);
  ASSERT_TRUE(io);
  ASSERT_TRUE(eventually([&] { return io->recorder.cycle_count() >= 3; }, 5000ms));
  EXPECT_STATUS(0, AudioHardwareDestroyAggregateDevice(io->chain->aggregate));
  const std::size_t at_destroy = io->recorder.cycle_count();
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(io->recorder.cycle_count(), at_destroy);
  EXPECT_STATUS(kAudioHardwareBadDeviceError,
                AudioDeviceDestroyIOProcID(io->chain->aggregate, io->io_proc));
  io->io_proc = nullptr;
  io->chain->aggregate = 0;
}

TEST(IoProc, DestroyingTheTapInUseEndsTheCyclesAndTheDeviceCannotStartAgain) {
  auto io = start_io(true);
  ASSERT_TRUE(io);
  ASSERT_TRUE(eventually([&] { return io->recorder.cycle_count() >= 3; }, 5000ms));
  EXPECT_STATUS(0, AudioHardwareDestroyProcessTap(io->chain->tap));
  io->chain->tap = 0;
  standin::wait_until_idle(io->queue);
  const std::size_t after_tap = io->recorder.cycle_count();
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(io->recorder.cycle_count(), after_tap);
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
    return;
  }
  if (++state->cycles == 3) {
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
  state.aggregate = (*chain)->aggregate;
  ASSERT_EQ(AudioDeviceCreateIOProcIDWithBlock(&state.io_proc, state.aggregate, queue, block), 0);
  ASSERT_EQ(AudioDeviceStart(state.aggregate, state.io_proc), 0);
  EXPECT_TRUE(eventually([&] { return state.destroyed.load(); }, 5000ms));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(status_text(state.status), status_text(0));
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
  EXPECT_STATUS(kAudioHardwareBadDeviceError,
                AudioDeviceCreateIOProcIDWithBlock(&io_proc, 999999, queue, block));
  // The sink is a device, but IOProcs run on the aggregate device.
  EXPECT_STATUS(kAudioHardwareIllegalOperationError,
                AudioDeviceCreateIOProcIDWithBlock(&io_proc, (*chain)->device, queue, block));
  EXPECT_STATUS(kAudio_ParamError,
                AudioDeviceCreateIOProcIDWithBlock(&io_proc, (*chain)->aggregate, nullptr, block));
  EXPECT_STATUS(kAudio_ParamError,
                AudioDeviceCreateIOProcIDWithBlock(&io_proc, (*chain)->aggregate, queue, nullptr));
  EXPECT_STATUS(kAudio_ParamError,
                AudioDeviceCreateIOProcIDWithBlock(nullptr, (*chain)->aggregate, queue, block));
  EXPECT_EQ(io_proc, nullptr);
  EXPECT_STATUS(kAudioHardwareBadDeviceError, AudioDeviceStart(999999, io_proc));
  EXPECT_STATUS(kAudioHardwareBadObjectError, AudioDeviceStart((*chain)->aggregate, nullptr));
  Block_release(block);
  dispatch_release(queue);
  EXPECT_EQ(recorder.cycle_count(), 0u);
}

}  // namespace
