// A start that fails before its IOProc exists: every failure row of the tap and
// aggregate device half, and the objects that could not be made.

#include "fake_fixture.h"
#include "system_audio/coreaudio/coreaudio_session.h"

namespace system_audio {
namespace {

using testing::calls_after;
using testing::DiagnosticsCapture;
using testing::FakeHalTest;

// The start's own releases, in the order every failure row ends with.
const std::vector<std::string> kReleases = {
    "NSObject_release(CATapDescription)",
    "NSObject_release(NSString \"FakeSpeakers:UID\")",
    "CFRelease(CFString \"FakeSpeakers:UID\")",
    "NSObject_release(NSArray)",
};
const std::vector<std::string> kReleasesBeforeTapDescription(kReleases.begin() + 1,
                                                             kReleases.end());

std::vector<std::string> then(std::vector<std::string> first,
                              const std::vector<std::string>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

class FailedStart : public FakeHalTest {
 protected:
  // Starts, expects `error`, and returns the diagnostics written.
  std::vector<std::string> start_expecting(const std::string& error) {
    auto [pcm_tx, status_tx] = senders();
    DiagnosticsCapture diagnostics;
    auto session = CoreAudioSession::start(std::move(pcm_tx), std::move(status_tx));
    auto lines = diagnostics.lines();
    EXPECT_FALSE(session.has_value());
    if (!session) {
      EXPECT_EQ(session.error(), error);
    }
    EXPECT_TRUE(pcm_channel_closed());
    EXPECT_TRUE(status_channel_closed());
    EXPECT_TRUE(fake::leftovers().empty()) << ::testing::PrintToString(fake::leftovers());
    return lines;
  }
};

TEST_F(FailedStart, DefaultDeviceStatusReleasesTheExclusionList) {
  fake::script().default_device_status = -50;
  start_expecting("read default output device failed: OSStatus -50 (-50)");
  EXPECT_EQ(calls_after("AudioObjectGetPropertyData(1, 'dOut'"),
            std::vector<std::string>{"NSObject_release(NSArray)"});
}

TEST_F(FailedStart, NoDefaultDeviceCreatesNoTap) {
  fake::script().default_device = 0;
  const auto lines = start_expecting("CoreAudio did not report a default output device");
  EXPECT_EQ(calls_after("AudioObjectGetPropertyData(1, 'dOut'"),
            std::vector<std::string>{"NSObject_release(NSArray)"});
  EXPECT_EQ(testing::count_of(fake::log(), "AudioHardwareCreateProcessTap(CATapDescription)"), 0u);
  EXPECT_EQ(lines, std::vector<std::string>{"coreaudio: start"});
}

TEST_F(FailedStart, DeviceUidStatusReleasesTheExclusionList) {
  fake::script().device_uid_status = platform::kAudioHardwareBadDeviceError;
  start_expecting("read default output device UID failed: OSStatus 560227702 (!dev)");
  EXPECT_EQ(calls_after("AudioObjectGetPropertyData(73, 'uid '"),
            std::vector<std::string>{"NSObject_release(NSArray)"});
}

TEST_F(FailedStart, NullDeviceUidReleasesTheExclusionList) {
  fake::script().device_uid.reset();
  start_expecting("CoreAudio returned an empty output device UID");
  EXPECT_EQ(calls_after("AudioObjectGetPropertyData(73, 'uid '"),
            std::vector<std::string>{"NSObject_release(NSArray)"});
}

TEST_F(FailedStart, TapCreationStatusReleasesInReverseOrder) {
  fake::script().create_tap_status = platform::kAudioHardwareIllegalOperationError;
  const auto lines =
      start_expecting("create CoreAudio process tap failed: OSStatus 1852797029 (nope)");
  EXPECT_EQ(calls_after("AudioHardwareCreateProcessTap("), kReleases);
  EXPECT_EQ(lines,
            (std::vector<std::string>{"coreaudio: start", "coreaudio: tap description created"}));
}

TEST_F(FailedStart, TapFormatStatusDestroysTheTapFirst) {
  fake::script().tap_format_status = platform::kAudioHardwareUnspecifiedError;
  start_expecting("read CoreAudio tap format failed: OSStatus 2003329396 (what)");
  EXPECT_EQ(calls_after("AudioObjectGetPropertyData(77, 'tfmt'"),
            then({"AudioHardwareDestroyProcessTap(77)"}, kReleases));
}

TEST_F(FailedStart, ThirtySixByteTapFormatIsAnUnexpectedSize) {
  fake::script().tap_format_size = 36;
  const auto lines = start_expecting("CoreAudio returned an unexpected tap format size");
  EXPECT_EQ(calls_after("AudioObjectGetPropertyData(77, 'tfmt'"),
            then({"AudioHardwareDestroyProcessTap(77)"}, kReleases));
  EXPECT_EQ(lines.back(), "coreaudio: process tap created id=77");
}

TEST_F(FailedStart, SixteenBitTapFormatIsUnsupportedAndTheTapIsGone) {
  auto& format = fake::script().tap_format;
  format.mFormatFlags = 12;  // signed integer, packed
  format.mBitsPerChannel = 16;
  format.mBytesPerFrame = format.mBytesPerPacket = 2;
  const auto lines = start_expecting(
      "unsupported CoreAudio tap format: id=1819304813 flags=12 bits=16 rate=48000");
  EXPECT_EQ(calls_after("AudioObjectGetPropertyData(77, 'tfmt'"),
            then({"AudioHardwareDestroyProcessTap(77)"}, kReleases));
  EXPECT_TRUE(fake::live_hal_objects().taps.empty());
  EXPECT_EQ(lines.back(), "coreaudio: tap format rate=48000 channels=1 flags=12 bits=16");
}

TEST_F(FailedStart, TapUidStatusDestroysTheTapThenReleases) {
  fake::script().tap_uid_status = platform::kAudioHardwareUnknownPropertyError;
  start_expecting("read CoreAudio tap UID failed: OSStatus 2003332927 (who?)");
  EXPECT_EQ(calls_after("AudioObjectGetPropertyData(77, 'tuid'"),
            then({"AudioHardwareDestroyProcessTap(77)"}, kReleases));
}

TEST_F(FailedStart, NullTapUidDestroysTheTapThenReleases) {
  fake::script().tap_uid.reset();
  const auto lines = start_expecting("CoreAudio returned an empty tap UID");
  EXPECT_EQ(calls_after("AudioObjectGetPropertyData(77, 'tuid'"),
            then({"AudioHardwareDestroyProcessTap(77)"}, kReleases));
  EXPECT_EQ(lines.back().rfind("coreaudio: tap format rate=", 0), 0u);
}

TEST_F(FailedStart, AggregateDescriptionFailureReleasesItsOwnObjectsBeforeTheTapGoes) {
  fake::script().runtime_failures.push_back({"CFNumberCreate", "", 1});
  start_expecting("CoreAudio could not create the tap drift setting");
  EXPECT_EQ(
      calls_after("CFNumberCreate("),
      then({"CFRelease(CFString \"com.vantle.audio-helper.aggregate.7F1A2B3C-FAKE-TAP-0001\")",
            "CFRelease(CFString \"Vantle Computer Audio\")",
            "CFRelease(CFString \"7F1A2B3C-FAKE-TAP-0001\")", "AudioHardwareDestroyProcessTap(77)"},
           kReleases));
}

TEST_F(FailedStart, AggregateCreationStatusDestroysTheTapBeforeReleasingTheDescription) {
  fake::script().create_aggregate_status = platform::kAudioHardwareBadObjectError;
  const auto lines =
      start_expecting("create CoreAudio aggregate tap device failed: OSStatus 560947818 (!obj)");
  EXPECT_EQ(calls_after("AudioHardwareCreateAggregateDevice("),
            then({"AudioHardwareDestroyProcessTap(77)", "CFRelease(CFDictionary{8})"}, kReleases));
  EXPECT_EQ(testing::count_of(fake::log(), "AudioHardwareDestroyAggregateDevice(88)"), 0u);
  EXPECT_EQ(lines.back(), "coreaudio: aggregate description ready");
}

// ---- Objects the platform could not make --------------------------------------------------

TEST_F(FailedStart, NoExclusionListEndsAtOnce) {
  fake::script().nil_ns_array = true;
  const auto lines = start_expecting("CoreAudio could not create the process exclusion list");
  EXPECT_TRUE(calls_after("NSArray_new(").empty());
  EXPECT_EQ(lines, std::vector<std::string>{"coreaudio: start"});
}

TEST_F(FailedStart, NoDeviceUidStringReleasesTheUidAndTheList) {
  fake::script().runtime_failures.push_back(
      {"NSString_alloc_initWithBytes_length_encoding", "FakeSpeakers", 1});
  start_expecting("CoreAudio could not create the device UID string");
  EXPECT_EQ(calls_after("NSString_alloc_initWithBytes_length_encoding("),
            (std::vector<std::string>{"CFRelease(CFString \"FakeSpeakers:UID\")",
                                      "NSObject_release(NSArray)"}));
}

TEST_F(FailedStart, NoTapDescriptionClassMeansNoProcessTaps) {
  fake::script().no_tap_description_class = true;
  const auto lines = start_expecting("CoreAudio process taps are not available on this system");
  EXPECT_EQ(calls_after("CATapDescription_alloc("), kReleasesBeforeTapDescription);
  EXPECT_EQ(lines, std::vector<std::string>{"coreaudio: start"});
}

TEST_F(FailedStart, NilFromTheTapDescriptionInitialiserReleasesTheRest) {
  fake::script().runtime_failures.push_back(
      {"CATapDescription_initExcludingProcesses_andDeviceUID_withStream", "", 1});
  start_expecting("CoreAudio could not create the tap description");
  EXPECT_EQ(calls_after("CATapDescription_initExcludingProcesses_andDeviceUID_withStream("),
            kReleasesBeforeTapDescription);
}

TEST_F(FailedStart, NoTapNameReleasesTheTapDescriptionToo) {
  fake::script().runtime_failures.push_back(
      {"NSString_alloc_initWithBytes_length_encoding", "Vantle Computer Audio", 1});
  const auto lines = start_expecting("CoreAudio could not create the tap name");
  EXPECT_EQ(calls_after("NSString_alloc_initWithBytes_length_encoding(\"Vantle"), kReleases);
  EXPECT_EQ(lines.back(), "coreaudio: tap description created");
}

TEST_F(FailedStart, NoIoBlockTearsDownTheAggregateAndTapFirst) {
  fake::script().null_block = true;
  const auto lines = start_expecting("CoreAudio could not create the IOProc block");
  EXPECT_EQ(calls_after("AudioDeviceIOBlock_create("),
            then({"AudioHardwareDestroyAggregateDevice(88)", "AudioHardwareDestroyProcessTap(77)",
                  "CFRelease(CFDictionary{8})"},
                 kReleases));
  EXPECT_EQ(lines.back(), "coreaudio: aggregate created id=88");
}

TEST_F(FailedStart, NoQueueTearsDownHalObjectsThenTheBlockAndTheState) {
  fake::script().null_queue = true;
  start_expecting("CoreAudio could not create the IOProc queue");
  EXPECT_EQ(calls_after("dispatch_queue_create("),
            then({"AudioHardwareDestroyAggregateDevice(88)", "AudioHardwareDestroyProcessTap(77)",
                  "Block_release(AudioDeviceIOBlock)", "CFRelease(CFDictionary{8})"},
                 kReleases));
}

// ---- The senders go after every release -------------------------------------------------

// Records, at each release call, whether the PCM channel was already closed.
class SenderOrder : public FailedStart {
 protected:
  // Replaces the fake's hook, so a runtime failure must be made here.
  void watch_releases(std::string_view failing_function = {}) {
    standin::set_call_hook(
        [this, failing_function](std::string_view function, std::string_view arguments) {
          if (function.ends_with("release") || function.ends_with("Release")) {
            seen_.push_back(std::string(function) + "(" + std::string(arguments) + ")" +
                            (pcm_channel_closed() ? " closed" : " open"));
          }
          return function != failing_function;
        });
  }
  std::vector<std::string> seen_;
};

TEST_F(SenderOrder, SendersOfAFailedFirstHalfAreDroppedAfterTheLastRelease) {
  fake::script().create_aggregate_status = -1;
  auto [pcm_tx, status_tx] = senders();
  watch_releases();
  DiagnosticsCapture diagnostics;
  auto session = CoreAudioSession::start(std::move(pcm_tx), std::move(status_tx));
  ASSERT_FALSE(session);
  ASSERT_FALSE(seen_.empty());
  for (const auto& release : seen_) EXPECT_TRUE(release.ends_with(" open")) << release;
  EXPECT_TRUE(pcm_channel_closed());
}

TEST_F(SenderOrder, WithAStateTheSendersGoWithItAfterQueueAndBlock) {
  auto [pcm_tx, status_tx] = senders();
  watch_releases("dispatch_queue_create");
  DiagnosticsCapture diagnostics;
  auto session = CoreAudioSession::start(std::move(pcm_tx), std::move(status_tx));
  ASSERT_FALSE(session);
  ASSERT_GE(seen_.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(seen_.end() - 6, seen_.end()),
            (std::vector<std::string>{
                "Block_release(AudioDeviceIOBlock) open",
                "CFRelease(CFDictionary{8}) closed",
                "NSObject_release(CATapDescription) closed",
                "NSObject_release(NSString \"FakeSpeakers:UID\") closed",
                "CFRelease(CFString \"FakeSpeakers:UID\") closed",
                "NSObject_release(NSArray) closed",
            }));
}

}  // namespace
}  // namespace system_audio
