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

TEST_F(AggregateDescription, DescribesAPrivateUnstackedAutoStartingDeviceOverTheOutputAndTap) {
  auto description = build();
  ASSERT_TRUE(description) << description.error();
  const auto* d = description->get();
  EXPECT_EQ(standin::dictionary_count(d), 8u);
  EXPECT_EQ(standin::dictionary_keys(d),
            (std::vector<std::string>{"name", "uid", "master", "private", "stacked", "tapautostart",
                                      "subdevices", "taps"}));
  EXPECT_EQ(standin::text_of(standin::dictionary_value(d, "name")), "Vantle Computer Audio");
  EXPECT_EQ(standin::text_of(standin::dictionary_value(d, "uid")), kAggregateUid);
  EXPECT_EQ(standin::dictionary_value(d, "private"), platform::kCFBooleanTrue);
  EXPECT_EQ(standin::dictionary_value(d, "stacked"), platform::kCFBooleanFalse);
  EXPECT_EQ(standin::dictionary_value(d, "tapautostart"), platform::kCFBooleanTrue);
  // Master and the one sub-device are the output device's UID object itself.
  EXPECT_EQ(standin::dictionary_value(d, "master"), device_uid_.get());
  const auto* subdevices = standin::dictionary_value(d, "subdevices");
  ASSERT_EQ(standin::array_count(subdevices), 1u);
  const auto* subdevice = standin::array_item(subdevices, 0);
  EXPECT_EQ(standin::dictionary_keys(subdevice), std::vector<std::string>{"uid"});
  EXPECT_EQ(standin::dictionary_value(subdevice, "uid"), device_uid_.get());
  // The one sub-tap is the tap UID as read, with drift 1.
  const auto* taps = standin::dictionary_value(d, "taps");
  ASSERT_EQ(standin::array_count(taps), 1u);
  const auto* tap = standin::array_item(taps, 0);
  EXPECT_EQ(standin::dictionary_keys(tap), (std::vector<std::string>{"uid", "drift"}));
  EXPECT_EQ(standin::dictionary_value(tap, "uid"), fake::passed().tap_uid);
  EXPECT_EQ(standin::number_value(standin::dictionary_value(tap, "drift")), 1);
}

TEST_F(AggregateDescription, AggregateUidIsThePrefixAndTheTapUidTextAndNothingMore) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"T", "T"}, {u"", ""}, {u"a\xD800", "a\xEF\xBF\xBD"}};  // unpaired: a replacement
  for (const auto& [tap_uid, text] : cases) {
    fake::script().tap_uid = tap_uid;
    auto description = build();
    ASSERT_TRUE(description) << description.error();
    EXPECT_EQ(standin::text_of(standin::dictionary_value(description->get(), "uid")),
              "com.vantle.audio-helper.aggregate." + text);
  }
}

TEST_F(AggregateDescription, BuildsInOrderAndReleasesEveryIntermediateNewestFirst) {
  auto description = build();
  ASSERT_TRUE(description) << description.error();
  // The name borrows the constant text, without a deallocator. The order of
  // the other creations shows in what each failure releases, below.
  EXPECT_TRUE(
      in_order(fake::log(),
               {"CFStringCreateWithBytesNoCopy(\"Vantle Computer Audio\", UTF8, kCFAllocatorNull)",
                "CFArrayCreate([CFDictionary{1}], kCFType)", "CFRelease(CFDictionary{1})",
                "CFArrayCreate([CFDictionary{2}], kCFType)", "CFRelease(CFDictionary{2})"}));
  // After the main dictionary only the releases remain, and the booleans are not among them.
  const auto tail = calls_after_last("CFDictionaryCreate(", "");
  EXPECT_EQ(tail, kIntermediateReleases);
}

TEST_F(AggregateDescription, FailedOrNullTapUidCreatesNothing) {
  fake::script().tap_uid_status = platform::kAudioHardwareBadObjectError;
  auto failed = build();
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error(), "read CoreAudio tap UID failed: OSStatus 560947818 (!obj)");
  EXPECT_TRUE(calls_after("AudioObjectGetPropertyData(77, 'tuid'").empty());

  fake::script().tap_uid_status = 0;
  fake::script().tap_uid.reset();
  fake::clear_log();
  auto null = build();
  ASSERT_FALSE(null);
  EXPECT_EQ(null.error(), "CoreAudio returned an empty tap UID");
  EXPECT_TRUE(calls_after("AudioObjectGetPropertyData(77, 'tuid'").empty());
}

struct UnmadeObject {
  std::string function;
  std::string arguments;
  int occurrence;
  std::string error;
  std::size_t made_before;  // intermediates alive when the call fails
  bool drops_entry;         // an entry dictionary made just before goes first
};

void PrintTo(const UnmadeObject& object, std::ostream* out) {
  *out << object.function << " #" << object.occurrence << " " << object.arguments;
}

UnmadeObject unmade(std::string function, std::string arguments, int occurrence, std::string object,
                    std::size_t made_before, bool drops_entry = false) {
  return {std::move(function), std::move(arguments),
          occurrence,          "CoreAudio could not create the " + object,
          made_before,         drops_entry};
}

UnmadeObject key(std::string name, int occurrence, std::size_t made_before) {
  return unmade("CFStringCreateWithBytes", "\"" + name + "\"", occurrence, "dictionary key " + name,
                made_before);
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
    ::testing::Values(unmade("CFStringCreateWithBytesNoCopy", "Vantle", 1, "aggregate device name",
                             1),
                      unmade("CFStringCreateWithBytes", "com.vantle.audio-helper.aggregate.", 1,
                             "aggregate device UID", 2),
                      unmade("CFNumberCreate", "", 1, "tap drift setting", 3), key("uid", 1, 4),
                      unmade("CFDictionaryCreate", "", 1, "sub-device entry", 5),
                      unmade("CFArrayCreate", "", 1, "sub-device list", 5, true), key("uid", 2, 6),
                      key("drift", 1, 7), unmade("CFDictionaryCreate", "", 2, "sub-tap entry", 8),
                      unmade("CFArrayCreate", "", 2, "sub-tap list", 8, true), key("name", 1, 9),
                      key("uid", 3, 10), key("master", 1, 11), key("private", 1, 12),
                      key("stacked", 1, 13), key("tapautostart", 1, 14), key("subdevices", 1, 15),
                      key("taps", 1, 16),
                      unmade("CFDictionaryCreate", "", 3, "aggregate device description", 17)));

}  // namespace
}  // namespace system_audio
