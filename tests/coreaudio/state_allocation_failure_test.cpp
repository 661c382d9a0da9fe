// A capture state that cannot be allocated ends the start like a failed IOProc
// creation would, without the block, the queue or the IOProc ever existing.
// This program replaces the global operator new to make that one allocation fail.

#include <atomic>
#include <cstdlib>
#include <new>

#include "fake_fixture.h"
#include "system_audio/coreaudio/coreaudio_session.h"
#include "system_audio/coreaudio/io_proc.h"

namespace {

// Allocations of the capture state's size are counted while `counting`; the one
// whose number equals `fail_at` throws.
std::atomic<bool> counting{false};
std::atomic<std::size_t> state_sized{0};
std::atomic<std::size_t> fail_at{0};

}  // namespace

void* operator new(std::size_t size) {
  if (size == sizeof(system_audio::TapCallbackState) && counting.load()) {
    const std::size_t number = ++state_sized;
    if (number == fail_at.load()) throw std::bad_alloc();
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}

namespace system_audio {
namespace {

using testing::calls_after;
using testing::DiagnosticsCapture;
using testing::FakeHalTest;

using StateAllocation = FakeHalTest;

TEST_F(StateAllocation, FailureEndsTheStartAfterTearingDownTheHalObjects) {
  // A successful start first, to learn which allocation of that size is the state:
  // the last one before the block is made.
  std::size_t state_number = 0;
  standin::set_call_hook([&](std::string_view function, std::string_view) {
    if (function == "AudioDeviceIOBlock_create") state_number = state_sized.load();
    return true;
  });
  {
    auto [pcm_tx, status_tx] = senders();
    counting = true;
    DiagnosticsCapture diagnostics;
    auto session = CoreAudioSession::start(std::move(pcm_tx), std::move(status_tx));
    counting = false;
    ASSERT_TRUE(session) << session.error();
    cleanup_hal(session->tap_id, session->aggregate_id, session->io_proc_id);
    fake::wait_until_delivered();
  }
  ASSERT_GT(state_number, 0u);

  fake::reset();
  state_sized = 0;
  fail_at = state_number;
  auto [pcm_tx, status_tx] = senders();
  counting = true;
  DiagnosticsCapture diagnostics;
  auto session = CoreAudioSession::start(std::move(pcm_tx), std::move(status_tx));
  counting = false;
  fail_at = 0;
  ASSERT_FALSE(session);
  EXPECT_EQ(session.error(), "CoreAudio could not allocate the capture state");
  EXPECT_EQ(calls_after("AudioHardwareCreateAggregateDevice("),
            (std::vector<std::string>{
                "AudioHardwareDestroyAggregateDevice(88)", "AudioHardwareDestroyProcessTap(77)",
                "CFRelease(CFDictionary{8})", "NSObject_release(CATapDescription)",
                "NSObject_release(NSString \"FakeSpeakers:UID\")",
                "CFRelease(CFString \"FakeSpeakers:UID\")", "NSObject_release(NSArray)"}));
  EXPECT_TRUE(pcm_channel_closed());
  EXPECT_TRUE(fake::leftovers().empty()) << ::testing::PrintToString(fake::leftovers());
}

}  // namespace
}  // namespace system_audio
