#include "fake_fixture.h"
#include "system_audio/coreaudio/aggregate_device.h"

namespace system_audio {
namespace {

using testing::calls_after;
using testing::FakeHalTest;
using testing::in_order;

constexpr std::string_view kAggregateUid =
    "com.vantle.audio-helper.aggregate.7F1A2B3C-FAKE-TAP-0001";

// The releases at the end of a successful build: every intermediate object,
// newest first. A build that fails after creating n of them releases the last
// n entries of this list, in this order.
const std::vector<std::string> kIntermediateReleases = {
    "CFRelease(CFString \"taps\")",
    "CFRelease(CFString \"subdevices\")",
    "CFRelease(CFString \"tapautostart\")",
    "CFRelease(CFString \"stacked\")",
    "CFRelease(CFString \"private\")",
    "CFRelease(CFString \"master\")",
    "CFRelease(CFString \"uid\")",
    "CFRelease(CFString \"name\")",
    "CFRelease(CFArray[1])",
    "CFRelease(CFString \"drift\")",
    "CFRelease(CFString \"uid\")",
    "CFRelease(CFArray[1])",
    "CFRelease(CFString \"uid\")",
    "CFRelease(CFNumber 1)",
    "CFRelease(CFString \"com.vantle.audio-helper.aggregate.7F1A2B3C-FAKE-TAP-0001\")",
    "CFRelease(CFString \"Vantle Computer Audio\")",
    "CFRelease(CFString \"7F1A2B3C-FAKE-TAP-0001\")",
};

std::vector<std::string> last_releases(std::size_t n) {
  return {kIntermediateReleases.end() - std::ptrdiff_t(n), kIntermediateReleases.end()};
}

// The calls after the last one to `function` whose text contains `contains`.
std::vector<std::string> calls_after_last(std::string_view function, std::string_view contains) {
  const auto all = fake::log();
  for (std::size_t i = all.size(); i-- > 0;) {
    if (all[i].starts_with(function) && all[i].find(contains) != std::string::npos) {
      return {all.begin() + std::ptrdiff_t(i) + 1, all.end()};
    }
  }
  return all;
}

class AggregateDescription : public FakeHalTest {
 protected:
  void SetUp() override {
    FakeHalTest::SetUp();
    device_uid_ = CfRef<platform::CFStringRef>(standin::make_cfstring("FakeSpeakers:UID"));
    tap_ = create_tap();
  }
  void TearDown() override {
    device_uid_.reset();
    destroy_tap(tap_);
    EXPECT_TRUE(fake::leftovers().empty()) << ::testing::PrintToString(fake::leftovers());
    FakeHalTest::TearDown();
  }

  Result<CfRef<platform::CFDictionaryRef>> build() {
    return aggregate_device_description(tap_, device_uid_.get());
  }

  CfRef<platform::CFStringRef> device_uid_;
  platform::AudioObjectID tap_ = 0;
};

TEST_F(AggregateDescription, HasExactlyTheEightKeysInTableOrder) {
  auto description = build();
  ASSERT_TRUE(description) << description.error();
  EXPECT_EQ(standin::dictionary_count(description->get()), 8u);
  EXPECT_EQ(standin::dictionary_keys(description->get()),
            (std::vector<std::string>{"name", "uid", "master", "private", "stacked", "tapautostart",
                                      "subdevices", "taps"}));
}

TEST_F(AggregateDescription, ValuesDescribeAPrivateUnstackedAutoStartingDevice) {
  auto description = build();
  ASSERT_TRUE(description) << description.error();
  const auto* d = description->get();
  EXPECT_EQ(standin::text_of(standin::dictionary_value(d, "name")), "Vantle Computer Audio");
  EXPECT_EQ(standin::text_of(standin::dictionary_value(d, "uid")), kAggregateUid);
  EXPECT_EQ(standin::boolean_value(standin::dictionary_value(d, "private")), true);
  EXPECT_EQ(standin::boolean_value(standin::dictionary_value(d, "stacked")), false);
  EXPECT_EQ(standin::boolean_value(standin::dictionary_value(d, "tapautostart")), true);
  EXPECT_EQ(standin::dictionary_value(d, "private"), platform::kCFBooleanTrue);
  EXPECT_EQ(standin::dictionary_value(d, "stacked"), platform::kCFBooleanFalse);
}

TEST_F(AggregateDescription, MasterAndTheOneSubDeviceAreTheOutputDeviceUidObject) {
  auto description = build();
  ASSERT_TRUE(description) << description.error();
  const auto* d = description->get();
  EXPECT_EQ(standin::dictionary_value(d, "master"), device_uid_.get());
  const auto* subdevices = standin::dictionary_value(d, "subdevices");
  ASSERT_EQ(standin::array_count(subdevices), 1u);
  const auto* subdevice = standin::array_item(subdevices, 0);
  EXPECT_EQ(standin::dictionary_keys(subdevice), std::vector<std::string>{"uid"});
  EXPECT_EQ(standin::dictionary_value(subdevice, "uid"), device_uid_.get());
}

TEST_F(AggregateDescription, TheOneSubTapIsTheTapUidAsReadWithDriftOne) {
  auto description = build();
  ASSERT_TRUE(description) << description.error();
  const auto* taps = standin::dictionary_value(description->get(), "taps");
  ASSERT_EQ(standin::array_count(taps), 1u);
  const auto* tap = standin::array_item(taps, 0);
  EXPECT_EQ(standin::dictionary_keys(tap), (std::vector<std::string>{"uid", "drift"}));
  EXPECT_EQ(standin::dictionary_value(tap, "uid"), fake::passed().tap_uid);
  EXPECT_EQ(standin::text_of(standin::dictionary_value(tap, "uid")), fake::kDefaultTapUid);
  EXPECT_EQ(standin::number_value(standin::dictionary_value(tap, "drift")), 1);
}

TEST_F(AggregateDescription, AggregateUidIsPrefixAggregateAndTheTapUidTextAndNothingMore) {
  fake::script().tap_uid = u"T";
  auto description = build();
  ASSERT_TRUE(description) << description.error();
  EXPECT_EQ(standin::text_of(standin::dictionary_value(description->get(), "uid")),
            "com.vantle.audio-helper.aggregate.T");
}

TEST_F(AggregateDescription, TapUidWithAnUnpairedSurrogateGivesAReplacementInTheAggregateUid) {
  fake::script().tap_uid = u"a\xD800";
  auto description = build();
  ASSERT_TRUE(description) << description.error();
  EXPECT_EQ(standin::text_of(standin::dictionary_value(description->get(), "uid")),
            "com.vantle.audio-helper.aggregate.a\xEF\xBF\xBD");
}

TEST_F(AggregateDescription, NameBorrowsTheConstantTextWithoutADeallocator) {
  auto description = build();
  ASSERT_TRUE(description) << description.error();
  EXPECT_TRUE(in_order(fake::log(), {"CFStringCreateWithBytesNoCopy(\"Vantle Computer Audio\", "
                                     "UTF8, kCFAllocatorNull)"}));
}

TEST_F(AggregateDescription, BuildsInOrderAndReleasesEveryIntermediateNewestFirst) {
  auto description = build();
  ASSERT_TRUE(description) << description.error();
  const auto all = fake::log();
  EXPECT_TRUE(in_order(
      all,
      {"AudioObjectGetPropertyData(77, 'tuid', 'glob', 0, 8)",
       "CFStringCreateWithBytesNoCopy(\"Vantle Computer Audio\", UTF8, kCFAllocatorNull)",
       "CFStringCreateWithBytes(\"" + std::string(kAggregateUid) + "\", UTF8)",
       "CFNumberCreate(SInt32 1)", "CFStringCreateWithBytes(\"uid\", UTF8)",
       "CFArrayCreate([CFDictionary{1}], kCFType)", "CFRelease(CFDictionary{1})",
       "CFStringCreateWithBytes(\"uid\", UTF8)", "CFStringCreateWithBytes(\"drift\", UTF8)",
       "CFArrayCreate([CFDictionary{2}], kCFType)", "CFRelease(CFDictionary{2})",
       "CFStringCreateWithBytes(\"name\", UTF8)", "CFStringCreateWithBytes(\"uid\", UTF8)",
       "CFStringCreateWithBytes(\"master\", UTF8)", "CFStringCreateWithBytes(\"private\", UTF8)",
       "CFStringCreateWithBytes(\"stacked\", UTF8)",
       "CFStringCreateWithBytes(\"tapautostart\", UTF8)",
       "CFStringCreateWithBytes(\"subdevices\", UTF8)",
       "CFStringCreateWithBytes(\"taps\", UTF8)"}));
  // After the main dictionary only the releases remain, and the booleans are not among them.
  const auto tail = calls_after_last("CFDictionaryCreate(", "");
  EXPECT_EQ(tail, kIntermediateReleases);
}

TEST_F(AggregateDescription, FailedTapUidReadCreatesNothing) {
  fake::script().tap_uid_status = platform::kAudioHardwareBadObjectError;
  auto description = build();
  ASSERT_FALSE(description);
  EXPECT_EQ(description.error(), "read CoreAudio tap UID failed: OSStatus 560947818 (!obj)");
  EXPECT_TRUE(calls_after("AudioObjectGetPropertyData(77, 'tuid'").empty());
}

TEST_F(AggregateDescription, NullTapUidIsAnEmptyTapUid) {
  fake::script().tap_uid.reset();
  auto description = build();
  ASSERT_FALSE(description);
  EXPECT_EQ(description.error(), "CoreAudio returned an empty tap UID");
  EXPECT_TRUE(calls_after("AudioObjectGetPropertyData(77, 'tuid'").empty());
}

TEST_F(AggregateDescription, EmptyTapUidTextStillBuilds) {
  fake::script().tap_uid = u"";
  auto description = build();
  ASSERT_TRUE(description) << description.error();
  EXPECT_EQ(standin::text_of(standin::dictionary_value(description->get(), "uid")),
            "com.vantle.audio-helper.aggregate.");
}

struct UnmadeObject {
  const char* function;
  const char* arguments;
  int occurrence;
  const char* error;
  std::size_t made_before;  // intermediates alive when the call fails
  bool drops_entry;         // an entry dictionary made just before goes first
};

void PrintTo(const UnmadeObject& object, std::ostream* out) {
  *out << object.function << " #" << object.occurrence << " " << object.arguments;
}

class AggregateDescriptionUnmade : public AggregateDescription,
                                   public ::testing::WithParamInterface<UnmadeObject> {};

TEST_P(AggregateDescriptionUnmade, EndsWithItsErrorAndReleasesWhatExistsNewestFirst) {
  const auto& p = GetParam();
  fake::script().runtime_failures.push_back({p.function, p.arguments, p.occurrence});
  auto description = build();
  ASSERT_FALSE(description);
  EXPECT_EQ(description.error(), p.error);
  auto expected = last_releases(p.made_before);
  if (p.drops_entry) {
    expected.insert(expected.begin(), p.occurrence == 1 ? "CFRelease(CFDictionary{1})"
                                                        : "CFRelease(CFDictionary{2})");
  }
  EXPECT_EQ(calls_after_last(p.function, p.arguments), expected);
}

INSTANTIATE_TEST_SUITE_P(
    EachObject, AggregateDescriptionUnmade,
    ::testing::Values(
        UnmadeObject{"CFStringCreateWithBytesNoCopy", "Vantle", 1,
                     "CoreAudio could not create the aggregate device name", 1, false},
        UnmadeObject{"CFStringCreateWithBytes", "com.vantle.audio-helper.aggregate.", 1,
                     "CoreAudio could not create the aggregate device UID", 2, false},
        UnmadeObject{"CFNumberCreate", "", 1, "CoreAudio could not create the tap drift setting", 3,
                     false},
        UnmadeObject{"CFStringCreateWithBytes", "\"uid\"", 1,
                     "CoreAudio could not create the dictionary key uid", 4, false},
        UnmadeObject{"CFDictionaryCreate", "", 1, "CoreAudio could not create the sub-device entry",
                     5, false},
        UnmadeObject{"CFArrayCreate", "", 1, "CoreAudio could not create the sub-device list", 5,
                     true},
        UnmadeObject{"CFStringCreateWithBytes", "\"uid\"", 2,
                     "CoreAudio could not create the dictionary key uid", 6, false},
        UnmadeObject{"CFStringCreateWithBytes", "\"drift\"", 1,
                     "CoreAudio could not create the dictionary key drift", 7, false},
        UnmadeObject{"CFDictionaryCreate", "", 2, "CoreAudio could not create the sub-tap entry", 8,
                     false},
        UnmadeObject{"CFArrayCreate", "", 2, "CoreAudio could not create the sub-tap list", 8,
                     true},
        UnmadeObject{"CFStringCreateWithBytes", "\"name\"", 1,
                     "CoreAudio could not create the dictionary key name", 9, false},
        UnmadeObject{"CFStringCreateWithBytes", "\"uid\"", 3,
                     "CoreAudio could not create the dictionary key uid", 10, false},
        UnmadeObject{"CFStringCreateWithBytes", "\"master\"", 1,
                     "CoreAudio could not create the dictionary key master", 11, false},
        UnmadeObject{"CFStringCreateWithBytes", "\"private\"", 1,
                     "CoreAudio could not create the dictionary key private", 12, false},
        UnmadeObject{"CFStringCreateWithBytes", "\"stacked\"", 1,
                     "CoreAudio could not create the dictionary key stacked", 13, false},
        UnmadeObject{"CFStringCreateWithBytes", "\"tapautostart\"", 1,
                     "CoreAudio could not create the dictionary key tapautostart", 14, false},
        UnmadeObject{"CFStringCreateWithBytes", "\"subdevices\"", 1,
                     "CoreAudio could not create the dictionary key subdevices", 15, false},
        UnmadeObject{"CFStringCreateWithBytes", "\"taps\"", 1,
                     "CoreAudio could not create the dictionary key taps", 16, false},
        UnmadeObject{"CFDictionaryCreate", "", 3,
                     "CoreAudio could not create the aggregate device description", 17, false}));

}  // namespace
}  // namespace system_audio
