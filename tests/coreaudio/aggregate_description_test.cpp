// What a good start hands the HAL, for UIDs of every shape: the property
// reads, the tap description, the aggregate device description and the IOProc
// queue. The listeners are the running session's to show.

#include <algorithm>

#include "fake_fixture.h"

namespace system_audio {
namespace {

// "%D" stands for the device UID's text, "%T" for the tap UID's.
const std::vector<std::string> kHalCalls = {
    "AudioObjectGetPropertyData(1, 'dOut', 'glob', 0, 4)",
    "AudioObjectGetPropertyData(73, 'uid ', 'outp', 0, 8)",
    "AudioHardwareCreateProcessTap(CATapDescription{excluding 0, device \"%D\", stream 0, name "
    "\"Vantle Computer Audio\", mixdown YES, mono YES, exclusive YES, private YES, mute 0})",
    "AudioObjectGetPropertyData(77, 'tfmt', 'glob', 0, 40)",
    "AudioObjectGetPropertyData(77, 'tuid', 'glob', 0, 8)",
    "AudioHardwareCreateAggregateDevice({\"name\": \"Vantle Computer Audio\", \"uid\": "
    "\"com.vantle.audio-helper.aggregate.%T\", \"master\": \"%D\", \"private\": true, "
    "\"stacked\": false, \"tapautostart\": true, \"subdevices\": [{\"uid\": \"%D\"}], "
    "\"taps\": [{\"uid\": \"%T\", \"drift\": 1}]})",
    "AudioDeviceIOBlock_create()",
    "AudioDeviceCreateIOProcIDWithBlock(88, dispatch_queue \"com.vantle.audio-helper.audio-tap\", "
    "AudioDeviceIOBlock)",
    "AudioDeviceStart(88, IOProc#1)",
};

std::string filled(std::string text, const std::string& device, const std::string& tap) {
  for (std::size_t at; (at = text.find("%D")) != std::string::npos;) text.replace(at, 2, device);
  for (std::size_t at; (at = text.find("%T")) != std::string::npos;) text.replace(at, 2, tap);
  return text;
}

struct Uids {
  const char* name;
  std::u16string device_uid, tap_uid;
  std::string device_text, tap_text;  // UTF-8, read 32 bytes at a time
};

void PrintTo(const Uids& uids, std::ostream* out) {
  *out << uids.name;
}

const std::string kLong = "ab" + std::string(29, 'q');  // 31 bytes
const std::u16string kLong16(kLong.begin(), kLong.end());

const Uids kUids[] = {
    {"Plain", u"FakeSpeakers:UID", u"7F1A2B3C-FAKE-TAP-0001", "FakeSpeakers:UID",
     "7F1A2B3C-FAKE-TAP-0001"},
    // A four-byte character across the 32-byte boundary is never split.
    {"LongUids", kLong16 + u"\xD83C\xDFA7z", std::u16string(100, u'x'), kLong + "\xF0\x9F\x8E\xA7z",
     std::string(100, 'x')},
};

class GoodStart : public testing::FakeHalTest, public ::testing::WithParamInterface<Uids> {};

TEST_P(GoodStart, HandsTheHalTheTapAndAggregateItDescribes) {
  const Uids& uids = GetParam();
  script.device_uid = uids.device_uid;
  script.tap_uid = uids.tap_uid;
  auto session = start();
  ASSERT_TRUE(session) << session.error();
  EXPECT_EQ(diagnostics, testing::kStartLines);
  std::vector<std::string> expected;
  for (const auto& call : kHalCalls)
    expected.push_back(filled(call, uids.device_text, uids.tap_text));
  std::vector<std::string> audio_calls;
  std::ranges::copy_if(fake::log(), std::back_inserter(audio_calls), [](const std::string& line) {
    return line.starts_with("Audio") && !line.contains("Listener");
  });
  EXPECT_EQ(audio_calls, expected);
}

INSTANTIATE_TEST_SUITE_P(EachShape, GoodStart, ::testing::ValuesIn(kUids),
                         [](const auto& uids) { return std::string(uids.param.name); });

}  // namespace
}  // namespace system_audio
