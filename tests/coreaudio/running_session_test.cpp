// Starts that get as far as the IOProc: the successful start, the session it
// returns and what releasing it does, and the two failures after the IOProc
// queue exists. Each of these runs the IOProc queue's thread.

#include <algorithm>

#include "fake_fixture.h"
#include "system_audio/coreaudio/coreaudio_session.h"
#include "system_audio/coreaudio/io_proc.h"

namespace system_audio {
namespace {

using testing::calls_after;
using testing::DiagnosticsCapture;
using testing::FakeHalTest;
using testing::in_order;

constexpr std::string_view kQueueLabel = "com.vantle.audio-helper.audio-tap";
const std::string kQueueRelease =
    "dispatch_release(dispatch_queue \"com.vantle.audio-helper.audio-tap\")";

class RunningSession : public FakeHalTest {
 protected:
  void TearDown() override {
    // A running session is never released by the helper; a test stops the IOProc
    // first so that no cycle can reach a freed state.
    if (session_.state) {
      cleanup_hal(session_.tap_id, session_.aggregate_id, session_.io_proc_id);
      fake::wait_until_delivered();
    }
    session_.release();
    EXPECT_TRUE(fake::leftovers().empty()) << ::testing::PrintToString(fake::leftovers());
    FakeHalTest::TearDown();
  }

  // Starts with stderr captured; returns the diagnostics.
  std::vector<std::string> start() {
    auto [pcm_tx, status_tx] = senders();
    DiagnosticsCapture diagnostics;
    auto started = CoreAudioSession::start(std::move(pcm_tx), std::move(status_tx));
    auto lines = diagnostics.lines();
    EXPECT_TRUE(started.has_value()) << started.error();
    if (started) session_ = std::move(*started);
    return lines;
  }

  CoreAudioSession session_;
};

TEST_F(RunningSession, WritesTheStartLinesWithTheIdsItHolds) {
  fake::script().tap_id = 4000000001u;
  fake::script().aggregate_id = 3999999999u;
  auto expected = testing::kStartLines;
  expected[2] = "coreaudio: process tap created id=4000000001";
  expected[5] = "coreaudio: aggregate created id=3999999999";
  EXPECT_EQ(start(), expected);
  EXPECT_EQ(session_.tap_id, 4000000001u);
  EXPECT_EQ(session_.aggregate_id, 3999999999u);
  EXPECT_NE(session_.io_proc_id, nullptr);
  const auto live = fake::live_hal_objects();
  EXPECT_EQ(live.taps, std::vector<platform::AudioObjectID>{4000000001u});
  EXPECT_EQ(live.aggregate_devices, std::vector<platform::AudioObjectID>{3999999999u});
  EXPECT_EQ(live.io_procs, std::vector<std::string>{"IOProc#1 on 3999999999 (started)"});
}

TEST_F(RunningSession, TapsStreamZeroOfTheDeviceWithTheSettingsInOrder) {
  start();
  const auto fields = fake::passed().tap_description;
  ASSERT_TRUE(fields);
  EXPECT_TRUE(fields->initialised);
  EXPECT_EQ(fields->excluded_processes, 0u);
  EXPECT_EQ(fields->device_uid, "FakeSpeakers:UID");
  EXPECT_EQ(fields->stream, 0);
  EXPECT_EQ(fields->name, "Vantle Computer Audio");
  EXPECT_TRUE(fields->mixdown && fields->mono && fields->exclusive && fields->is_private);
  EXPECT_EQ(fields->mute_behavior, platform::CATapUnmuted);
  // The name is released right after use.
  const auto after_init =
      calls_after("CATapDescription_initExcludingProcesses_andDeviceUID_withStream(");
  ASSERT_GE(after_init.size(), 9u);
  EXPECT_EQ(std::vector<std::string>(after_init.begin(), after_init.begin() + 9),
            (std::vector<std::string>{
                "NSString_alloc_initWithBytes_length_encoding(\"Vantle Computer Audio\", UTF8)",
                "CATapDescription_setName(CATapDescription, NSString \"Vantle Computer Audio\")",
                "NSObject_release(NSString \"Vantle Computer Audio\")",
                "CATapDescription_setMixdown(CATapDescription, YES)",
                "CATapDescription_setMono(CATapDescription, YES)",
                "CATapDescription_setExclusive(CATapDescription, YES)",
                "CATapDescription_setPrivate(CATapDescription, YES)",
                "CATapDescription_setMuteBehavior(CATapDescription, 0)",
                "AudioHardwareCreateProcessTap(CATapDescription)",
            }));
}

TEST_F(RunningSession, EmptyButNonNullDeviceUidIsUsedUnchanged) {
  fake::script().device_uid = u"";
  start();
  ASSERT_TRUE(fake::passed().tap_description);
  EXPECT_EQ(fake::passed().tap_description->device_uid, "");
  const auto aggregate = fake::passed().aggregate_description;
  ASSERT_TRUE(aggregate);
  ASSERT_NE(aggregate->find("master"), nullptr);
  EXPECT_EQ(aggregate->find("master")->text, "");
}

// The order of the earlier calls shows in what each failed start tears down.
TEST_F(RunningSession, PassesTheObjectsItMadeToTheCallsThatUseThem) {
  start();
  EXPECT_TRUE(in_order(
      fake::log(),
      {"NSString_alloc_initWithBytes_length_encoding(\"FakeSpeakers:UID\", UTF8)",
       "CATapDescription_initExcludingProcesses_andDeviceUID_withStream(CATapDescription, "
       "NSArray, NSString \"FakeSpeakers:UID\", 0)",
       "AudioHardwareCreateAggregateDevice(CFDictionary{8})", "AudioDeviceIOBlock_create()",
       "dispatch_queue_create(\"com.vantle.audio-helper.audio-tap\", DISPATCH_QUEUE_SERIAL)",
       "AudioDeviceCreateIOProcIDWithBlock(88, dispatch_queue "
       "\"com.vantle.audio-helper.audio-tap\", AudioDeviceIOBlock)",
       "AudioDeviceStart(88, IOProc#1)"}));
  EXPECT_EQ(fake::passed().queue_label, kQueueLabel);
  EXPECT_EQ(fake::passed().queue, session_.queue.get());
  EXPECT_EQ(fake::passed().block, session_.io_block.get());
}

TEST_F(RunningSession, SuccessReleasesTheStartsLeftoversInOrder) {
  start();
  EXPECT_EQ(calls_after("AudioDeviceStart("),
            (std::vector<std::string>{
                "CFRelease(CFDictionary{8})", "NSObject_release(NSString \"FakeSpeakers:UID\")",
                "CFRelease(CFString \"FakeSpeakers:UID\")", "NSObject_release(NSArray)"}));
  EXPECT_EQ(std::ranges::count(fake::log(), "NSObject_release(CATapDescription)"), 0);
  EXPECT_FALSE(pcm_channel_closed());
}

TEST_F(RunningSession, ReleaseFreesTheStateThenDescriptionBlockQueueWithoutHalCalls) {
  start();
  cleanup_hal(session_.tap_id, session_.aggregate_id, session_.io_proc_id);
  fake::wait_until_delivered();
  fake::clear_log();
  std::vector<std::string> seen;
  standin::set_call_hook([&](std::string_view function, std::string_view arguments) {
    seen.push_back(std::string(function) + "(" + std::string(arguments) + ")" +
                   (pcm_channel_closed() && status_channel_closed() ? " closed" : " open"));
    return true;
  });
  session_.release();
  EXPECT_EQ(seen, (std::vector<std::string>{"NSObject_release(CATapDescription) closed",
                                            "Block_release(AudioDeviceIOBlock) closed",
                                            kQueueRelease + " closed"}));
  EXPECT_EQ(session_.state, nullptr);
}

TEST_F(RunningSession, MovingTheSessionKeepsTheStateAtItsAddress) {
  start();
  TapCallbackState* state = session_.state.get();
  CoreAudioSession moved(std::move(session_));
  EXPECT_EQ(moved.state.get(), state);
  EXPECT_EQ(session_.state, nullptr);
  EXPECT_EQ(session_.tap_id, 0u);
  fake::clear_log();
  session_.release();  // the moved-from session holds nothing
  CoreAudioSession empty;
  empty = CoreAudioSession();
  empty.release();
  EXPECT_TRUE(fake::log().empty());
  session_ = std::move(moved);
  EXPECT_EQ(session_.state.get(), state);
}

// ---- Failures once the IOProc queue exists ----------------------------------------------

using FailedIoStart = FakeHalTest;

TEST_F(FailedIoStart, IoProcCreationStatusDestroysAggregateThenTapAndNoIoProc) {
  fake::script().create_io_proc_status = platform::kAudioHardwareBadDeviceError;
  const auto lines =
      start_expecting("create CoreAudio tap IOProc failed: OSStatus 560227702 (!dev)");
  EXPECT_EQ(calls_after("AudioDeviceCreateIOProcIDWithBlock("),
            testing::then_releases(
                {"AudioHardwareDestroyAggregateDevice(88)", "AudioHardwareDestroyProcessTap(77)",
                 kQueueRelease, "Block_release(AudioDeviceIOBlock)"},
                5));
  EXPECT_EQ(lines.back(), "coreaudio: aggregate created id=88");
}

TEST_F(FailedIoStart, DeviceStartStatusDestroysTheIoProcOnTheAggregateDeviceFirst) {
  fake::script().start_status = platform::kAudioHardwareNotRunningError;
  const auto lines = start_expecting("start CoreAudio tap IO failed: OSStatus 1937010544 (stop)");
  EXPECT_EQ(calls_after("AudioDeviceStart("),
            testing::then_releases(
                {"AudioDeviceDestroyIOProcID(88, IOProc#1)",
                 "AudioHardwareDestroyAggregateDevice(88)", "AudioHardwareDestroyProcessTap(77)",
                 kQueueRelease, "Block_release(AudioDeviceIOBlock)"},
                5));
  EXPECT_EQ(lines.back(), "coreaudio: io proc created");
}

TEST_F(FailedIoStart, StateGoesAfterTheBlockAndBeforeTheAggregateDescription) {
  fake::script().start_status = -1;
  auto [pcm_tx, status_tx] = senders();
  std::vector<std::string> seen;
  standin::set_call_hook([&](std::string_view function, std::string_view arguments) {
    if (function == "Block_release" || function == "CFRelease") {
      seen.push_back(std::string(function) + "(" + std::string(arguments) + ")" +
                     (pcm_channel_closed() ? " closed" : " open"));
    }
    return true;
  });
  DiagnosticsCapture diagnostics;
  auto session = CoreAudioSession::start(std::move(pcm_tx), std::move(status_tx));
  ASSERT_FALSE(session);
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[seen.size() - 3], "Block_release(AudioDeviceIOBlock) open");
  EXPECT_EQ(seen[seen.size() - 2], "CFRelease(CFDictionary{8}) closed");
}

}  // namespace
}  // namespace system_audio
