// The HAL's objects over a private server: the default sink as the default
// output device, process taps on it, aggregate devices around a tap, and the
// statuses of the calls that name what does not exist.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>

#include "hal_test_objects.h"
#include "shared_server.h"

namespace {

using namespace pulse_test;
using system_audio::standin::make_cfstring;
using test_support::PrivateAudioServer;

TEST(DefaultOutputDevice, IsTheDefaultSinkWithAStableIdAndANewUidStringPerRead) {
  AudioObjectID device = 0;
  AudioObjectID again = 0;
  EXPECT_STATUS(0, read_default_device(&device));
  EXPECT_STATUS(0, read_default_device(&again));
  EXPECT_EQ(device, again);
  EXPECT_NE(device, kAudioObjectUnknown);
  EXPECT_NE(device, kAudioObjectSystemObject);
  const AudioObjectPropertyAddress address{kAudioDevicePropertyDeviceUID,
                                           kAudioObjectPropertyScopeOutput,
                                           kAudioObjectPropertyElementMain};
  CFStringRef first = nullptr;
  CFStringRef second = nullptr;
  UInt32 size = sizeof(first);
  ASSERT_EQ(AudioObjectGetPropertyData(device, &address, 0, nullptr, &size, &first), 0);
  ASSERT_EQ(AudioObjectGetPropertyData(device, &address, 0, nullptr, &size, &second), 0);
  EXPECT_EQ(size, sizeof(CFStringRef));
  EXPECT_NE(first, second);
  CFRelease(first);
  // The second string lives on after the first is released: each has its own reference.
  EXPECT_EQ(system_audio::standin::text_of(second), PrivateAudioServer::kSinkName);
  CFRelease(second);
  EXPECT_TRUE(system_audio::standin::faults().empty());
}

TEST(PropertyReads, WrongSizesUnknownObjectsAndUnknownSelectorsAreRefused) {
  AudioObjectID device = 0;
  ASSERT_EQ(read_default_device(&device), 0);
  const struct {
    AudioObjectID object;
    AudioObjectPropertySelector selector;
    AudioObjectPropertyScope scope;
    UInt32 size;
    OSStatus expected;
  } cases[] = {
      {kAudioObjectSystemObject, kAudioHardwarePropertyDefaultOutputDevice,
       kAudioObjectPropertyScopeGlobal, 2, kAudioHardwareBadPropertySizeError},
      {device, kAudioDevicePropertyDeviceUID, kAudioObjectPropertyScopeOutput, 4,
       kAudioHardwareBadPropertySizeError},
      {987654, kAudioDevicePropertyDeviceUID, kAudioObjectPropertyScopeOutput, 8,
       kAudioHardwareBadObjectError},
      {kAudioObjectSystemObject, four_char_code("zzzz"), kAudioObjectPropertyScopeGlobal, 8,
       kAudioHardwareUnknownPropertyError},
      {device, four_char_code("zzzz"), kAudioObjectPropertyScopeGlobal, 8,
       kAudioHardwareUnknownPropertyError},
      // The device is not a tap: a tap's format is not one of its properties.
      {device, kAudioTapPropertyFormat, kAudioObjectPropertyScopeGlobal, 40,
       kAudioHardwareUnknownPropertyError},
  };
  for (const auto& c : cases) {
    const AudioObjectPropertyAddress address{c.selector, c.scope, kAudioObjectPropertyElementMain};
    char buffer[64] = {};
    UInt32 size = c.size;
    EXPECT_STATUS(c.expected,
                  AudioObjectGetPropertyData(c.object, &address, 0, nullptr, &size, buffer))
        << status_text(c.selector) << " of " << c.object;
  }
}

class TapFormat : public ::testing::TestWithParam<bool> {};

TEST_P(TapFormat, IsPackedFloatAtTheSinkRateWithOneChannelOnlyForAMonoMixdown) {
  const bool mono_mixdown = GetParam();
  auto chain = make_tap_chain(mono_mixdown);
  ASSERT_TRUE(chain);
  const AudioObjectPropertyAddress address{kAudioTapPropertyFormat, kAudioObjectPropertyScopeGlobal,
                                           kAudioObjectPropertyElementMain};
  // Read into a larger buffer: the HAL reports the size it wrote.
  unsigned char buffer[64];
  UInt32 size = sizeof(buffer);
  EXPECT_STATUS(0, AudioObjectGetPropertyData(chain->tap, &address, 0, nullptr, &size, buffer));
  ASSERT_EQ(size, 40u);
  AudioStreamBasicDescription format{};
  std::memcpy(&format, buffer, sizeof format);
  const UInt32 channels = mono_mixdown ? 1 : PrivateAudioServer::kSinkChannels;
  EXPECT_EQ(format.mSampleRate, double(PrivateAudioServer::kSinkRate));
  EXPECT_EQ(format.mFormatID, kAudioFormatLinearPCM);
  EXPECT_EQ(format.mFormatFlags, kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked);
  EXPECT_EQ(format.mBitsPerChannel, 32u);
  EXPECT_EQ(format.mChannelsPerFrame, channels);
  EXPECT_EQ(format.mBytesPerFrame, 4 * channels);
  EXPECT_EQ(format.mBytesPerPacket, 4 * channels);
  EXPECT_EQ(format.mFramesPerPacket, 1u);
  size = 39;
  EXPECT_STATUS(kAudioHardwareBadPropertySizeError,
                AudioObjectGetPropertyData(chain->tap, &address, 0, nullptr, &size, buffer));
}

INSTANTIATE_TEST_SUITE_P(MixdownOrNot, TapFormat, ::testing::Bool());

TEST(ProcessTap, EveryTapHasItsOwnUidThatStaysTheSameOnEachRead) {
  auto first = make_tap_chain(true);
  auto second = make_tap_chain(true);
  ASSERT_TRUE(first && second);
  EXPECT_NE(first->tap_uid, second->tap_uid);
  EXPECT_FALSE(first->tap_uid.empty());
  std::string again;
  EXPECT_STATUS(
      0, read_string(first->tap, kAudioTapPropertyUID, kAudioObjectPropertyScopeGlobal, &again));
  EXPECT_EQ(again, first->tap_uid);
  // Taps, aggregates and devices share one id space.
  const std::set<AudioObjectID> ids{first->device, first->tap, first->aggregate, second->tap,
                                    second->aggregate};
  EXPECT_EQ(ids.size(), 5u);
}

TEST(ProcessTap, CreationFailsWithoutWritingAnIdOnABadDeviceOrMissingParameter) {
  CATapDescription* no_sink = make_tap_description("no_such_sink", true);
  CATapDescription* valid = make_tap_description(PrivateAudioServer::kSinkName, true);
  ASSERT_TRUE(no_sink && valid);
  AudioObjectID tap = 12345;
  EXPECT_STATUS(kAudioHardwareBadDeviceError, AudioHardwareCreateProcessTap(no_sink, &tap));
  EXPECT_STATUS(kAudio_ParamError, AudioHardwareCreateProcessTap(nullptr, &tap));
  EXPECT_EQ(tap, 12345u);
  EXPECT_STATUS(kAudio_ParamError, AudioHardwareCreateProcessTap(valid, nullptr));
  NSObject_release(no_sink);
  NSObject_release(valid);
}

TEST(AggregateDevice, AggregateAndTapAreEachDestroyedOnceAndThenGone) {
  auto chain = make_tap_chain(true);
  ASSERT_TRUE(chain);
  std::string uid;
  EXPECT_STATUS(0, read_string(chain->aggregate, kAudioDevicePropertyDeviceUID,
                               kAudioObjectPropertyScopeGlobal, &uid));
  EXPECT_EQ(uid, "com.vantle.audio-helper.aggregate." + chain->tap_uid);
  EXPECT_STATUS(0, AudioHardwareDestroyAggregateDevice(chain->aggregate));
  EXPECT_STATUS(kAudioHardwareBadDeviceError,
                AudioHardwareDestroyAggregateDevice(chain->aggregate));
  EXPECT_STATUS(0, AudioHardwareDestroyProcessTap(chain->tap));
  EXPECT_STATUS(kAudioHardwareBadObjectError, read_string(chain->tap, kAudioTapPropertyUID,
                                                          kAudioObjectPropertyScopeGlobal, &uid));
  EXPECT_STATUS(kAudioHardwareBadObjectError, AudioHardwareDestroyProcessTap(chain->tap));
  chain->aggregate = 0;
  chain->tap = 0;
}

// Descriptions that differ from the valid one in one entry; what they are built
// from is released once the test is done.
class AggregateChecks : public ::testing::Test {
 protected:
  void TearDown() override {
    for (CFTypeRef object : kept) CFRelease(object);
  }
  template <class Object>
  Object keep(Object object) {
    kept.push_back(object);
    return object;
  }
  OSStatus create(CFDictionaryRef description) {
    AudioObjectID aggregate = 4242;
    const OSStatus status = AudioHardwareCreateAggregateDevice(description, &aggregate);
    if (status == 0) AudioHardwareDestroyAggregateDevice(aggregate);
    EXPECT_TRUE(status == 0 || aggregate == 4242u) << "an id was written on failure";
    return status;
  }
  // The valid description's "uid" and "subdevices", with taps (or none).
  CFDictionaryRef with_taps(CFTypeRef taps) {
    CFDictionaryRef sub_device =
        keep(make_dictionary({{"uid", keep(make_cfstring(chain->device_uid))}}));
    std::vector<std::pair<std::string, CFTypeRef>> entries{
        {"uid", keep(make_cfstring("test.aggregate.taps"))},
        {"subdevices", keep(make_array({sub_device}))}};
    if (taps != nullptr) entries.emplace_back("taps", taps);
    return keep(make_dictionary(entries));
  }
  CFDictionaryRef described(const std::string& uid, const std::string& tap_uid,
                            const std::string& device_uid) {
    return keep(make_aggregate_description(uid, tap_uid, device_uid));
  }
  std::unique_ptr<TapChain> chain = make_tap_chain(true);
  std::vector<CFTypeRef> kept;
};

TEST_F(AggregateChecks, EachDepartureFromTheValidDescriptionHasItsStatus) {
  ASSERT_TRUE(chain);
  const std::string tap = chain->tap_uid;
  const std::string device = chain->device_uid;
  const SInt32 seven = 7;
  CFStringRef tap_string = keep(make_cfstring(tap));
  CFDictionaryRef sub_tap = keep(make_dictionary({{"uid", tap_string}}));
  const std::vector<std::tuple<const char*, CFDictionaryRef, OSStatus>> cases = {
      {"valid", described("test.aggregate.valid", tap, device), 0},
      {"no such tap", described("test.aggregate.a", "NO-SUCH-TAP", device),
       kAudioHardwareIllegalOperationError},
      {"no such sub-device", described("test.aggregate.b", tap, "no_such_sink"),
       kAudioHardwareIllegalOperationError},
      // The chain's own aggregate holds this UID.
      {"UID taken", described("com.vantle.audio-helper.aggregate." + tap, tap, device),
       kAudioHardwareIllegalOperationError},
      {"empty UID", described("", tap, device), kAudio_ParamError},
      {"UID a number",
       keep(make_dictionary({{"uid", keep(CFNumberCreate(nullptr, kCFNumberSInt32Type, &seven))}})),
       kAudio_ParamError},
      {"no taps", with_taps(nullptr), kAudio_ParamError},
      {"taps a string", with_taps(tap_string), kAudio_ParamError},
      {"taps of strings", with_taps(keep(make_array({tap_string}))), kAudio_ParamError},
      {"tap without UID",
       with_taps(keep(make_array({keep(make_dictionary({{"drift", kCFBooleanTrue}}))}))),
       kAudio_ParamError},
      {"no tap", with_taps(keep(make_array({}))), kAudioHardwareIllegalOperationError},
      {"two taps", with_taps(keep(make_array({sub_tap, sub_tap}))),
       kAudioHardwareIllegalOperationError},
  };
  for (const auto& [name, description, expected] : cases) {
    EXPECT_STATUS(expected, create(description)) << name;
  }
  AudioObjectID aggregate = 0;
  EXPECT_STATUS(kAudio_ParamError, AudioHardwareCreateAggregateDevice(nullptr, &aggregate));
  EXPECT_STATUS(kAudio_ParamError, AudioHardwareCreateAggregateDevice(
                                       described("test.aggregate.c", tap, device), nullptr));
}

TEST(DestroyCalls, IdsThatNameNothingAreRefusedWithTheHalsStatuses) {
  EXPECT_STATUS(kAudioHardwareBadObjectError, AudioHardwareDestroyProcessTap(777777));
  EXPECT_STATUS(kAudioHardwareBadDeviceError, AudioHardwareDestroyAggregateDevice(777777));
  EXPECT_STATUS(kAudioHardwareBadDeviceError, AudioDeviceDestroyIOProcID(777777, nullptr));
  AudioObjectID device = 0;
  ASSERT_EQ(read_default_device(&device), 0);
  // The sink itself is a device, but not one this HAL makes or destroys.
  EXPECT_STATUS(kAudioHardwareBadDeviceError, AudioHardwareDestroyAggregateDevice(device));
}

TEST(AllObjects, LeaveNoRuntimeObjectAliveOnceReleased) {
  system_audio::standin::reset_ledger();
  ASSERT_TRUE(make_tap_chain(true));
  for (const auto& entry : system_audio::standin::live_objects()) {
    ADD_FAILURE() << "still alive: " << entry.description << " (" << entry.references
                  << " references)";
  }
  for (const auto& fault : system_audio::standin::faults()) ADD_FAILURE() << fault;
}

}  // namespace
