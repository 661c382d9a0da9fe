#include <string>
#include <vector>

#include "cf_builders.h"
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

TEST_F(ContainerOwnership, ADictionaryHoldsItsOwnReferencesAndComparesKeysByText) {
  CFStringRef key = cf("uid");
  CFStringRef first = cf("dev");
  CFDictionaryRef one = one_entry(key, first);
  EXPECT_EQ(alive(), (Strings{"CFString \"uid\" x2", "CFString \"dev\" x2", "CFDictionary{1} x1"}));
  CFStringRef same_key = cf("uid");
  CFStringRef second = cf("b");
  const void* keys[] = {key, same_key};
  const void* values[] = {first, second};
  CFDictionaryRef two = CFDictionaryCreate(nullptr, keys, values, 2, &kCFTypeDictionaryKeyCallBacks,
                                           &kCFTypeDictionaryValueCallBacks);
  for (CFTypeRef object :
       {CFTypeRef(key), CFTypeRef(same_key), CFTypeRef(first), CFTypeRef(second)}) {
    CFRelease(object);
  }
  EXPECT_EQ(text_of(dictionary_value(one, "uid")), "dev");
  EXPECT_EQ(dictionary_count(two), 1u);
  EXPECT_EQ(dictionary_value(two, "uid"), second);
  EXPECT_EQ(dictionary_value(two, "missing"), nullptr);
  CFRelease(one);
  CFRelease(two);
  EXPECT_TRUE(alive().empty());
  EXPECT_TRUE(faults().empty());
}

TEST_F(ContainerOwnership, NestedDescriptionIsFreedByItsLastRelease) {
  // The shape of an aggregate description: a dictionary holding an array of dictionaries.
  CFStringRef tap_uid = make_cfstring("TAP");
  const SInt32 one_value = 1;
  CFNumberRef one = CFNumberCreate(nullptr, kCFNumberSInt32Type, &one_value);
  CFDictionaryRef sub_tap = cf_builders::make_dictionary({{"uid", tap_uid}, {"drift", one}});
  CFArrayRef taps = cf_builders::make_array({sub_tap});
  CFDictionaryRef description =
      cf_builders::make_dictionary({{"taps", taps}, {"private", kCFBooleanTrue}});
  cf_builders::release_all({taps, sub_tap, one, tap_uid});
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

TEST_F(ContainerOwnership, DoubleStrangeOrNullReleasesAreRecordedNotCrashed) {
  CFStringRef string = cf("uid");
  CFRelease(string);
  CFRelease(string);
  NSArray* array = NSArray_new();
  NSObject_release(array);
  NSObject_release(array);
  int stranger = 0;
  CFRelease(&stranger);
  CFRelease(nullptr);
  NSObject_release(nullptr);  // a message to nil is fine
  Block_release(nullptr);
  EXPECT_EQ(faults(), (Strings{"CFRelease of released CFString \"uid\"",
                               "NSObject_release of released NSArray",
                               "CFRelease of unknown object", "CFRelease of NULL"}));
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

}  // namespace
}  // namespace system_audio::standin
