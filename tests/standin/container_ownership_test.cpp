#include <string>
#include <vector>

#include "runtime_fixture.h"

namespace system_audio::standin {
namespace {

using namespace platform;
using Strings = std::vector<std::string>;

class ContainerOwnership : public RuntimeTest {};

CFDictionaryRef one_entry(const void* key, const void* value) {
  const void* keys[] = {key};
  const void* values[] = {value};
  return CFDictionaryCreate(nullptr, keys, values, 1, &kCFTypeDictionaryKeyCallBacks,
                            &kCFTypeDictionaryValueCallBacks);
}

TEST_F(ContainerOwnership, ADictionaryHoldsItsOwnReferences) {
  CFStringRef key = cf("uid");
  CFStringRef value = cf("dev");
  CFDictionaryRef dictionary = one_entry(key, value);
  EXPECT_EQ(alive(), (Strings{"CFString \"uid\" x2", "CFString \"dev\" x2", "CFDictionary{1} x1"}));
  CFRelease(key);
  CFRelease(value);
  EXPECT_EQ(text_of(dictionary_value(dictionary, "uid")), "dev");
  CFRelease(dictionary);
  EXPECT_TRUE(alive().empty());
  EXPECT_TRUE(faults().empty());
}

TEST_F(ContainerOwnership, NestedDescriptionIsFreedByItsLastRelease) {
  // The shape of an aggregate description: a dictionary holding an array of dictionaries.
  CFStringRef uid_key = cf("uid");
  CFStringRef drift_key = cf("drift");
  CFStringRef taps_key = cf("taps");
  CFStringRef tap_uid = make_cfstring("TAP");
  const SInt32 one_value = 1;
  CFNumberRef one = CFNumberCreate(nullptr, kCFNumberSInt32Type, &one_value);
  const void* keys[] = {uid_key, drift_key};
  const void* values[] = {tap_uid, one};
  CFDictionaryRef sub_tap = CFDictionaryCreate(
      nullptr, keys, values, 2, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  const void* items[] = {sub_tap};
  CFArrayRef taps = CFArrayCreate(nullptr, items, 1, &kCFTypeArrayCallBacks);
  CFRelease(sub_tap);
  const void* main_keys[] = {taps_key, cf("private")};
  const void* main_values[] = {taps, kCFBooleanTrue};
  CFDictionaryRef description =
      CFDictionaryCreate(nullptr, main_keys, main_values, 2, &kCFTypeDictionaryKeyCallBacks,
                         &kCFTypeDictionaryValueCallBacks);
  CFRelease(main_keys[1]);
  for (CFTypeRef object : {CFTypeRef(uid_key), CFTypeRef(drift_key), CFTypeRef(taps_key),
                           CFTypeRef(tap_uid), CFTypeRef(one), CFTypeRef(taps)}) {
    CFRelease(object);
  }

  const Snapshot copy = *snapshot(description);
  CFRelease(description);
  EXPECT_TRUE(alive().empty());
  EXPECT_TRUE(faults().empty());
  // What the HAL was given stays readable after the objects are gone.
  ASSERT_NE(copy.find("taps"), nullptr);
  ASSERT_EQ(copy.find("taps")->items.size(), 1u);
  EXPECT_EQ(copy.find("taps")->items[0].find("uid")->text, "TAP");
  EXPECT_EQ(copy.find("taps")->items[0].find("drift")->number, 1);
  EXPECT_TRUE(copy.find("private")->boolean);
}

TEST_F(ContainerOwnership, ContainersWithoutCallbacksTakeNoReferences) {
  CFStringRef value = cf("v");
  const void* items[] = {value};
  CFArrayRef array = CFArrayCreate(nullptr, items, 1, nullptr);
  EXPECT_EQ(alive(), (Strings{"CFString \"v\" x1", "CFArray[1] x1"}));
  CFRelease(array);
  EXPECT_EQ(alive(), Strings{"CFString \"v\" x1"});
  CFRelease(value);
  EXPECT_TRUE(faults().empty());
}

TEST_F(ContainerOwnership, KeysAreComparedByText) {
  CFStringRef first = cf("uid");
  CFStringRef second = cf("uid");
  CFStringRef a = cf("a");
  CFStringRef b = cf("b");
  const void* keys[] = {first, second};
  const void* values[] = {a, b};
  CFDictionaryRef dictionary = CFDictionaryCreate(
      nullptr, keys, values, 2, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  EXPECT_EQ(dictionary_count(dictionary), 1u);
  EXPECT_EQ(dictionary_value(dictionary, "uid"), b);
  EXPECT_EQ(dictionary_value(dictionary, "missing"), nullptr);
  for (CFTypeRef object :
       {CFTypeRef(first), CFTypeRef(second), CFTypeRef(a), CFTypeRef(b), CFTypeRef(dictionary)}) {
    CFRelease(object);
  }
  EXPECT_TRUE(alive().empty());
  EXPECT_TRUE(faults().empty());
}

TEST_F(ContainerOwnership, ADoubleReleaseIsRecordedNotCrashed) {
  CFStringRef string = cf("uid");
  CFRelease(string);
  CFRelease(string);
  NSArray* array = NSArray_new();
  NSObject_release(array);
  NSObject_release(array);
  EXPECT_EQ(faults(), (Strings{"CFRelease of released CFString \"uid\"",
                               "NSObject_release of released NSArray"}));
}

TEST_F(ContainerOwnership, ReleasingNothingOrAStrangerIsRecorded) {
  int stranger = 0;
  CFRelease(&stranger);
  CFRelease(nullptr);
  NSObject_release(nullptr);  // a message to nil is fine
  Block_release(nullptr);
  EXPECT_EQ(faults(), (Strings{"CFRelease of unknown object", "CFRelease of NULL"}));
}

TEST_F(ContainerOwnership, BooleanConstantsOutliveAnyRelease) {
  for (int i = 0; i < 3; ++i) CFRelease(kCFBooleanTrue);
  retain(kCFBooleanFalse);
  EXPECT_EQ(boolean_value(kCFBooleanTrue), true);
  EXPECT_EQ(boolean_value(kCFBooleanFalse), false);
  EXPECT_TRUE(alive().empty());
  EXPECT_TRUE(faults().empty());
}

TEST_F(ContainerOwnership, AnArrayOfAReleasedElementIsNotMade) {
  CFStringRef kept = cf("kept");
  CFStringRef gone = cf("gone");
  CFRelease(gone);
  const void* items[] = {kept, gone};
  EXPECT_EQ(CFArrayCreate(nullptr, items, 2, &kCFTypeArrayCallBacks), nullptr);
  EXPECT_EQ(alive(), Strings{"CFString \"kept\" x1"});
  EXPECT_EQ(faults(), Strings{"CFArrayCreate with element released CFString \"gone\""});
  CFRelease(kept);
}

TEST_F(ContainerOwnership, QueuesAndBlocksNeedTheirOwnRelease) {
  AudioDeviceIOBlock block =
      AudioDeviceIOBlock_create([](void*, auto, auto, auto, auto, auto) {}, nullptr);
  CFRelease(block);
  EXPECT_EQ(alive(), Strings{"AudioDeviceIOBlock x1"});
  Block_release(block);
  EXPECT_TRUE(alive().empty());
  EXPECT_EQ(faults(), Strings{"CFRelease of AudioDeviceIOBlock"});
}

TEST_F(ContainerOwnership, AResetForgetsWhatAnEarlierTestLeft) {
  CFStringRef leaked = cf("leaked");
  CFRelease(cf("x"));
  reset_ledger();
  EXPECT_TRUE(alive().empty());
  // The leaked object was not freed under its holder; it is just no longer listed.
  EXPECT_EQ(kind_of(leaked), std::nullopt);
}

}  // namespace
}  // namespace system_audio::standin
