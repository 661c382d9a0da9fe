// Every way a start can fail: its one error text, the diagnostics that show
// where it stopped, and the teardown that undoes what it built, newest first
// and HAL objects first, with the senders dropped last.

#include <functional>

#include "fake_fixture.h"

namespace system_audio {
namespace {

using testing::kStartLines;

const std::string kDestroyTap = "AudioHardwareDestroyProcessTap(77)";
const std::string kDestroyAggregate = "AudioHardwareDestroyAggregateDevice(88)";
const std::string kReleaseQueue =
    "dispatch_release(dispatch_queue \"com.vantle.audio-helper.audio-tap\")";
const std::string kReleaseBlock = "Block_release(AudioDeviceIOBlock)";
const std::string kReleaseListener = "Block_release(AudioObjectPropertyListenerBlock)";
const std::string kReleaseListenerQueue =
    "dispatch_release(dispatch_queue \"com.vantle.audio-helper.device-changes\")";
const std::string kDestroyIoProc = "AudioDeviceDestroyIOProcID(88, IOProc#1)";

// The start's own objects, released after the HAL objects in every failure.
const std::vector<std::string> kStartReleases = {
    "CFRelease(CFDictionary{8})", "NSObject_release(CATapDescription)",
    "NSObject_release(NSString \"FakeSpeakers:UID\")", "CFRelease(CFString \"FakeSpeakers:UID\")",
    "NSObject_release(NSArray[0])"};

struct Row {
  const char* name;
  std::size_t lines;     // the first `lines` diagnostics of a good start
  std::size_t releases;  // how many of the start's own releases end the teardown
  const char* error;
  std::function<void(fake::Script&)> script;
  std::vector<std::string> first;  // the teardown before the start's own releases
  bool state;                      // the senders went with the capture state
  const char* last_line;           // replaces the last diagnostic
};

Row row(const char* name, std::size_t lines, std::size_t releases, const char* error,
        std::function<void(fake::Script&)> script, std::vector<std::string> first = {},
        bool state = false, const char* last_line = nullptr) {
  return {name, lines, releases, error, std::move(script), std::move(first), state, last_line};
}

std::function<void(fake::Script&)> fail(const char* call) {
  return [call](fake::Script& s) { s.failing_calls = {call}; };
}
std::function<void(fake::Script&)> status(OSStatus fake::Script::*field, OSStatus value) {
  return [field, value](fake::Script& s) { s.*field = value; };
}

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

const Row kRows[] = {
    row("DefaultDeviceStatus", 1, 1, "read default output device failed: OSStatus -50 (-50)",
        status(&fake::Script::default_device_status, -50)),
    row("NoDefaultDevice", 1, 1, "CoreAudio did not report a default output device",
        [](fake::Script& s) { s.default_device = 0; }),
    row("DeviceUidStatus", 1, 1, "read default output device UID failed: OSStatus 560227702 (!dev)",
        status(&fake::Script::device_uid_status, kAudioHardwareBadDeviceError)),
    row("NullDeviceUid", 1, 1, "CoreAudio returned an empty output device UID",
        [](fake::Script& s) { s.device_uid.reset(); }),
    row("NoExclusionList", 1, 0, "CoreAudio could not create the process exclusion list",
        fail("NSArray_new")),
    row("NoTapDescriptionClass", 1, 3, "CoreAudio process taps are not available on this system",
        fail("CATapDescription_alloc")),
    row("NilTapDescription", 1, 3, "CoreAudio could not create the tap description",
        fail("CATapDescription_initWithProcesses_andDeviceUID_withStream")),
    row("TapCreationStatus", 2, 4,
        "create CoreAudio process tap failed: OSStatus 1852797029 (nope)",
        status(&fake::Script::create_tap_status, kAudioHardwareIllegalOperationError)),
    row("TapFormatStatus", 3, 4, "read CoreAudio tap format failed: OSStatus 2003329396 (what)",
        status(&fake::Script::tap_format_status, kAudioHardwareUnspecifiedError), {kDestroyTap}),
    row("ThirtySixByteTapFormat", 3, 4, "CoreAudio returned an unexpected tap format size",
        [](fake::Script& s) { s.tap_format_size = 36; }, {kDestroyTap}),
    row(
        "SixteenBitTapFormat", 4, 4,
        "unsupported CoreAudio tap format: id=1819304813 flags=12 bits=16 rate=48000",
        [](fake::Script& s) {
          s.tap_format.mFormatFlags = 12;  // signed integer, packed
          s.tap_format.mBitsPerChannel = 16;
        },
        {kDestroyTap}, false, "coreaudio: tap format rate=48000 channels=1 flags=12 bits=16"),
    row("TapUidStatus", 4, 4, "read CoreAudio tap UID failed: OSStatus 2003332927 (who?)",
        status(&fake::Script::tap_uid_status, kAudioHardwareUnknownPropertyError), {kDestroyTap}),
    row("NullTapUid", 4, 4, "CoreAudio returned an empty tap UID",
        [](fake::Script& s) { s.tap_uid.reset(); }, {kDestroyTap}),
    row("NoAggregateName", 4, 4, "CoreAudio could not create the aggregate device name",
        fail("CFStringCreateWithBytesNoCopy"), {kDestroyTap}),
    row("NoAggregateDescription", 4, 4,
        "CoreAudio could not create the aggregate device description", fail("CFDictionaryCreate#3"),
        {kDestroyTap}),
    row("AggregateCreationStatus", 5, 5,
        "create CoreAudio aggregate tap device failed: OSStatus 560947818 (!obj)",
        status(&fake::Script::create_aggregate_status, kAudioHardwareBadObjectError),
        {kDestroyTap}),
    row("NoIoBlock", 6, 5, "CoreAudio could not create the IOProc block",
        fail("AudioDeviceIOBlock_create"), {kDestroyAggregate, kDestroyTap}, true),
    row("NoQueue", 6, 5, "CoreAudio could not create the IOProc queue",
        fail("dispatch_queue_create"), {kDestroyAggregate, kDestroyTap, kReleaseBlock}, true),
    row("IoProcCreationStatus", 6, 5,
        "create CoreAudio tap IOProc failed: OSStatus 1852797029 (nope)",
        status(&fake::Script::create_io_proc_status, kAudioHardwareIllegalOperationError),
        {kDestroyAggregate, kDestroyTap, kReleaseQueue, kReleaseBlock}, true),
    row("NoListenerQueue", 7, 5, "CoreAudio could not create the listener queue",
        fail("dispatch_queue_create#2"),
        {kDestroyIoProc, kDestroyAggregate, kDestroyTap, kReleaseQueue, kReleaseBlock}, true),
    row("ListenerAddStatus", 7, 5,
        "listen for CoreAudio device changes failed: OSStatus 560947818 (!obj)",
        fail("AudioObjectAddPropertyListenerBlock#2"),
        {testing::kRemoveListeners.back(), kDestroyIoProc, kDestroyAggregate, kDestroyTap,
         kReleaseListener, kReleaseListenerQueue, kReleaseQueue, kReleaseBlock},
        true),
    row("DeviceStartStatus", 7, 5, "start CoreAudio tap IO failed: OSStatus 1937010544 (stop)",
        status(&fake::Script::start_status, kAudioHardwareNotRunningError),
        {testing::kRemoveListeners[0], testing::kRemoveListeners[1], testing::kRemoveListeners[2],
         testing::kRemoveListeners[3], testing::kRemoveListeners[4], kDestroyIoProc,
         kDestroyAggregate, kDestroyTap, kReleaseListener, kReleaseListenerQueue, kReleaseQueue,
         kReleaseBlock},
        true),
};

class FailedStart : public testing::FakeHalTest, public ::testing::WithParamInterface<Row> {};

TEST_P(FailedStart, EndsWithItsErrorAndTearsDownInReverseOrder) {
  const Row& row = GetParam();
  row.script(script);
  const auto session = start();
  EXPECT_EQ(session ? "<started>" : session.error(), row.error);
  std::vector<std::string> lines(kStartLines.begin(), kStartLines.begin() + row.lines);
  if (row.last_line != nullptr) lines.back() = row.last_line;
  EXPECT_EQ(diagnostics, lines);
  // The senders go with the capture state once it exists, else after everything.
  std::vector<std::string> expected = row.first;
  if (row.state) expected.push_back("senders gone");
  expected.insert(expected.end(), kStartReleases.end() - std::ptrdiff_t(row.releases),
                  kStartReleases.end());
  if (!row.state) expected.push_back("senders gone");
  // The aggregate description's parts go before the tap, in no order that
  // anything requires; one left behind shows among the leftovers.
  auto seen = teardown();
  if (const auto tap = std::ranges::find(seen, kDestroyTap); tap != seen.end()) {
    seen.erase(
        std::remove_if(seen.begin(), tap, [](auto& c) { return c.starts_with("CFRelease("); }),
        tap);
  }
  EXPECT_EQ(seen, expected);
  EXPECT_TRUE(pcm_closed());
  EXPECT_EQ(fake::leftovers(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(EachStep, FailedStart, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace system_audio
