// A start that fails before its IOProc exists: every failure row of the tap and
// aggregate device half, and the objects that could not be made.

#include "fake_fixture.h"
#include "system_audio/coreaudio/coreaudio_session.h"

namespace system_audio {
namespace {

using testing::calls_after;
using testing::DiagnosticsCapture;
using testing::FakeHalTest;
using testing::kStartLines;
using testing::then_releases;

const std::string kDestroyTap = "AudioHardwareDestroyProcessTap(77)";
const std::string kDestroyAggregate = "AudioHardwareDestroyAggregateDevice(88)|";
const std::string kDropDescription = "|CFRelease(CFDictionary{8})";

struct FailureRow {
  const char* name;
  std::size_t lines;     // diagnostics written: the first `lines` of a good start
  std::size_t releases;  // how many of the start's own releases end the log
  const char* anchor;    // the calls after the first one starting so are checked
  const char* error;
  void (*script)();
  std::string teardown = "";        // before the releases, split at '|'
  const char* last_line = nullptr;  // when the last diagnostic differs
};

void PrintTo(const FailureRow& row, std::ostream* out) {
  *out << row.name;
}

void fail_runtime(const char* function, const char* arguments) {
  fake::script().runtime_failures.push_back({function, arguments, 1});
}

const char* const kDefaultDeviceRead = "AudioObjectGetPropertyData(1, 'dOut'";
const char* const kDeviceUidRead = "AudioObjectGetPropertyData(73, 'uid '";
const char* const kFormatRead = "AudioObjectGetPropertyData(77, 'tfmt'";
const char* const kTapUidRead = "AudioObjectGetPropertyData(77, 'tuid'";
const char* const kMakeString = "NSString_alloc_initWithBytes_length_encoding(";
const char* const kInitDescription =
    "CATapDescription_initExcludingProcesses_andDeviceUID_withStream(";

std::vector<std::string> split(std::string_view calls) {
  std::vector<std::string> out;
  for (std::size_t at = 0; at < calls.size();) {
    const auto end = std::min(calls.find('|', at), calls.size());
    out.emplace_back(calls.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

const FailureRow kRows[] = {
    {"DefaultDeviceStatus", 1, 1, kDefaultDeviceRead,
     "read default output device failed: OSStatus -50 (-50)",
     [] { fake::script().default_device_status = -50; }},
    {"NoDefaultDevice", 1, 1, kDefaultDeviceRead,
     "CoreAudio did not report a default output device", [] { fake::script().default_device = 0; }},
    {"DeviceUidStatus", 1, 1, kDeviceUidRead,
     "read default output device UID failed: OSStatus 560227702 (!dev)",
     [] { fake::script().device_uid_status = platform::kAudioHardwareBadDeviceError; }},
    {"NullDeviceUid", 1, 1, kDeviceUidRead, "CoreAudio returned an empty output device UID",
     [] { fake::script().device_uid.reset(); }},
    {"TapCreationStatus", 2, 4, "AudioHardwareCreateProcessTap(",
     "create CoreAudio process tap failed: OSStatus 1852797029 (nope)",
     [] { fake::script().create_tap_status = platform::kAudioHardwareIllegalOperationError; }},
    {"TapFormatStatus", 3, 4, kFormatRead,
     "read CoreAudio tap format failed: OSStatus 2003329396 (what)",
     [] { fake::script().tap_format_status = platform::kAudioHardwareUnspecifiedError; },
     kDestroyTap},
    {"ThirtySixByteTapFormat", 3, 4, kFormatRead,
     "CoreAudio returned an unexpected tap format size",
     [] { fake::script().tap_format_size = 36; }, kDestroyTap},
    {"SixteenBitTapFormat", 4, 4, kFormatRead,
     "unsupported CoreAudio tap format: id=1819304813 flags=12 bits=16 rate=48000",
     [] {
       auto& format = fake::script().tap_format;
       format.mFormatFlags = 12;  // signed integer, packed
       format.mBitsPerChannel = 16;
       format.mBytesPerFrame = format.mBytesPerPacket = 2;
     },
     kDestroyTap, "coreaudio: tap format rate=48000 channels=1 flags=12 bits=16"},
    {"TapUidStatus", 4, 4, kTapUidRead, "read CoreAudio tap UID failed: OSStatus 2003332927 (who?)",
     [] { fake::script().tap_uid_status = platform::kAudioHardwareUnknownPropertyError; },
     kDestroyTap},
    {"NullTapUid", 4, 4, kTapUidRead, "CoreAudio returned an empty tap UID",
     [] { fake::script().tap_uid.reset(); }, kDestroyTap},
    // The description's own objects go before the tap does.
    {"AggregateDescriptionFailure", 4, 4, "CFNumberCreate(",
     "CoreAudio could not create the tap drift setting", [] { fail_runtime("CFNumberCreate", ""); },
     "CFRelease(CFString \"com.vantle.audio-helper.aggregate.7F1A2B3C-FAKE-TAP-0001\")|"
     "CFRelease(CFString \"Vantle Computer Audio\")|"
     "CFRelease(CFString \"7F1A2B3C-FAKE-TAP-0001\")|" +
         kDestroyTap},
    {"AggregateCreationStatus", 5, 4, "AudioHardwareCreateAggregateDevice(",
     "create CoreAudio aggregate tap device failed: OSStatus 560947818 (!obj)",
     [] { fake::script().create_aggregate_status = platform::kAudioHardwareBadObjectError; },
     kDestroyTap + kDropDescription},
    // Objects the platform could not make.
    {"NoExclusionList", 1, 0, "NSArray_new(",
     "CoreAudio could not create the process exclusion list",
     [] { fake::script().nil_ns_array = true; }},
    {"NoDeviceUidString", 1, 2, kMakeString, "CoreAudio could not create the device UID string",
     [] { fail_runtime("NSString_alloc_initWithBytes_length_encoding", "FakeSpeakers"); }},
    {"NoTapDescriptionClass", 1, 3, "CATapDescription_alloc(",
     "CoreAudio process taps are not available on this system",
     [] { fake::script().no_tap_description_class = true; }},
    {"NilTapDescription", 1, 3, kInitDescription, "CoreAudio could not create the tap description",
     [] { fail_runtime("CATapDescription_initExcludingProcesses_andDeviceUID_withStream", ""); }},
    {"NoTapName", 2, 4, "NSString_alloc_initWithBytes_length_encoding(\"Vantle",
     "CoreAudio could not create the tap name",
     [] { fail_runtime("NSString_alloc_initWithBytes_length_encoding", "Vantle Computer Audio"); }},
    {"NoIoBlock", 6, 4, "AudioDeviceIOBlock_create(", "CoreAudio could not create the IOProc block",
     [] { fake::script().null_block = true; }, kDestroyAggregate + kDestroyTap + kDropDescription},
    {"NoQueue", 6, 4, "dispatch_queue_create(", "CoreAudio could not create the IOProc queue",
     [] { fake::script().null_queue = true; },
     kDestroyAggregate + kDestroyTap + "|Block_release(AudioDeviceIOBlock)" + kDropDescription},
};

class FailedStart : public FakeHalTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(FailedStart, EndsWithItsErrorAndTearsDownInReverseOrder) {
  const auto& row = GetParam();
  row.script();
  const auto lines = start_expecting(row.error);
  EXPECT_EQ(calls_after(row.anchor), then_releases(split(row.teardown), row.releases));
  auto expected_lines = std::vector<std::string>(kStartLines.begin(),
                                                 kStartLines.begin() + std::ptrdiff_t(row.lines));
  if (row.last_line != nullptr) expected_lines.back() = row.last_line;
  EXPECT_EQ(lines, expected_lines);
}

INSTANTIATE_TEST_SUITE_P(EachStep, FailedStart, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

// ---- The senders go after every release -------------------------------------------------

// Records, at each release call, whether the PCM channel was already closed.
class SenderOrder : public FakeHalTest {
 protected:
  // Replaces the fake's hook, so a runtime failure must be made here.
  void start_watching_releases(std::string_view failing_function = {}) {
    standin::set_call_hook(
        [this, failing_function](std::string_view function, std::string_view arguments) {
          if (function.ends_with("release") || function.ends_with("Release")) {
            seen_.push_back(std::string(function) + "(" + std::string(arguments) + ")" +
                            (pcm_channel_closed() ? " closed" : " open"));
          }
          return function != failing_function;
        });
    auto [pcm_tx, status_tx] = senders();
    DiagnosticsCapture diagnostics;
    EXPECT_FALSE(CoreAudioSession::start(std::move(pcm_tx), std::move(status_tx)));
    EXPECT_TRUE(pcm_channel_closed());
  }
  std::vector<std::string> seen_;
};

TEST_F(SenderOrder, SendersOfAFailedFirstHalfAreDroppedAfterTheLastRelease) {
  fake::script().create_aggregate_status = -1;
  start_watching_releases();
  ASSERT_FALSE(seen_.empty());
  for (const auto& release : seen_) EXPECT_TRUE(release.ends_with(" open")) << release;
}

TEST_F(SenderOrder, WithAStateTheSendersGoWithItAfterQueueAndBlock) {
  start_watching_releases("dispatch_queue_create");
  ASSERT_GE(seen_.size(), 6u);
  std::vector<std::string> expected = {"Block_release(AudioDeviceIOBlock) open"};
  for (const auto& release : testing::kStartReleases) expected.push_back(release + " closed");
  EXPECT_EQ(std::vector<std::string>(seen_.end() - 6, seen_.end()), expected);
}

}  // namespace
}  // namespace system_audio
