// The HAL's objects over a private server: the default sink as the default
// output device, process taps on it, aggregate devices around a tap, and the
// statuses of the calls that name what does not exist.

#include <gtest/gtest.h>

#include <set>

#include "hal_test_objects.h"
#include "shared_server.h"
#include "system_audio/coreaudio/standin/standin_runtime.h"

namespace {

using namespace pulse_test;
using test_support::PrivateAudioServer;

#define EXPECT_STATUS(expected, call) EXPECT_EQ(status_text(call), status_text(expected))

TEST(DefaultOutputDevice, IsTheDefaultSinkWithItsNameAsUid) {
  AudioObjectID device = 0;
  EXPECT_STATUS(0, read_default_device(&device));
  EXPECT_NE(device, kAudioObjectUnknown);
  std::string uid;
  EXPECT_STATUS(
      0, read_string(device, kAudioDevicePropertyDeviceUID, kAudioObjectPropertyScopeOutput, &uid));
  EXPECT_EQ(uid, PrivateAudioServer::kSinkName);
}

TEST(DefaultOutputDevice, KeepsItsIdAcrossReads) {
  AudioObjectID first = 0;
  AudioObjectID second = 0;
  EXPECT_STATUS(0, read_default_device(&first));
  EXPECT_STATUS(0, read_default_device(&second));
  EXPECT_EQ(first, second);
  EXPECT_NE(first, kAudioObjectSystemObject);
}

TEST(DefaultOutputDevice, UidIsANewStringOwnedByTheCaller) {
  AudioObjectID device = 0;
  ASSERT_EQ(read_default_device(&device), 0);
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
  const AudioObjectPropertyAddress default_device{kAudioHardwarePropertyDefaultOutputDevice,
                                                  kAudioObjectPropertyScopeGlobal,
                                                  kAudioObjectPropertyElementMain};
  const AudioObjectPropertyAddress uid{kAudioDevicePropertyDeviceUID,
                                       kAudioObjectPropertyScopeOutput,
                                       kAudioObjectPropertyElementMain};
  const AudioObjectPropertyAddress unknown{four_char_code("zzzz"), kAudioObjectPropertyScopeGlobal,
                                           kAudioObjectPropertyElementMain};
  char buffer[64] = {};
  UInt32 size = 2;
  EXPECT_STATUS(kAudioHardwareBadPropertySizeError,
                AudioObjectGetPropertyData(kAudioObjectSystemObject, &default_device, 0, nullptr,
                                           &size, buffer));
  size = 4;
  EXPECT_STATUS(kAudioHardwareBadPropertySizeError,
                AudioObjectGetPropertyData(device, &uid, 0, nullptr, &size, buffer));
  size = 8;
  EXPECT_STATUS(kAudioHardwareBadObjectError,
                AudioObjectGetPropertyData(987654, &uid, 0, nullptr, &size, buffer));
  EXPECT_STATUS(
      kAudioHardwareUnknownPropertyError,
      AudioObjectGetPropertyData(kAudioObjectSystemObject, &unknown, 0, nullptr, &size, buffer));
  EXPECT_STATUS(kAudioHardwareUnknownPropertyError,
                AudioObjectGetPropertyData(device, &unknown, 0, nullptr, &size, buffer));
  // The device is not a tap: a tap's format is not one of its properties.
  const AudioObjectPropertyAddress format{kAudioTapPropertyFormat, kAudioObjectPropertyScopeGlobal,
                                          kAudioObjectPropertyElementMain};
  size = 40;
  EXPECT_STATUS(kAudioHardwareUnknownPropertyError,
                AudioObjectGetPropertyData(device, &format, 0, nullptr, &size, buffer));
}

class TapFormat : public ::testing::TestWithParam<bool> {};

TEST_P(TapFormat, IsPackedFloatAtTheSinkRateWithOneChannelOnlyForAMonoMixdown) {
  const bool mono_mixdown = GetParam();
  auto chain = make_tap_chain(mono_mixdown);
  ASSERT_TRUE(chain);
  AudioStreamBasicDescription format{};
  UInt32 size = 0;
  EXPECT_STATUS(0, read_format((*chain)->tap, &format, &size));
  const UInt32 channels = mono_mixdown ? 1 : PrivateAudioServer::kSinkChannels;
  EXPECT_EQ(size, 40u);
  EXPECT_EQ(format.mSampleRate, double(PrivateAudioServer::kSinkRate));
  EXPECT_EQ(format.mFormatID, kAudioFormatLinearPCM);
  EXPECT_EQ(format.mFormatFlags, kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked);
  EXPECT_EQ(format.mBitsPerChannel, 32u);
  EXPECT_EQ(format.mChannelsPerFrame, channels);
  EXPECT_EQ(format.mBytesPerFrame, 4 * channels);
  EXPECT_EQ(format.mBytesPerPacket, 4 * channels);
  EXPECT_EQ(format.mFramesPerPacket, 1u);
}

INSTANTIATE_TEST_SUITE_P(MixdownOrNot, TapFormat, ::testing::Bool());

TEST(ProcessTap, FormatReadIntoALargerBufferReportsItsOwnSize) {
  auto chain = make_tap_chain(true);
  ASSERT_TRUE(chain);
  const AudioObjectPropertyAddress address{kAudioTapPropertyFormat, kAudioObjectPropertyScopeGlobal,
                                           kAudioObjectPropertyElementMain};
  unsigned char buffer[64];
  UInt32 size = sizeof(buffer);
  EXPECT_STATUS(0, AudioObjectGetPropertyData((*chain)->tap, &address, 0, nullptr, &size, buffer));
  EXPECT_EQ(size, 40u);
  size = 39;
  EXPECT_STATUS(kAudioHardwareBadPropertySizeError,
                AudioObjectGetPropertyData((*chain)->tap, &address, 0, nullptr, &size, buffer));
}

TEST(ProcessTap, EveryTapHasItsOwnUidThatStaysTheSameOnEachRead) {
  auto first = make_tap_chain(true);
  auto second = make_tap_chain(true);
  ASSERT_TRUE(first && second);
  EXPECT_NE((*first)->tap, (*second)->tap);
  EXPECT_NE((*first)->tap_uid, (*second)->tap_uid);
  EXPECT_FALSE((*first)->tap_uid.empty());
  std::string again;
  EXPECT_STATUS(
      0, read_string((*first)->tap, kAudioTapPropertyUID, kAudioObjectPropertyScopeGlobal, &again));
  EXPECT_EQ(again, (*first)->tap_uid);
  // Taps, aggregates and devices share one id space.
  std::set<AudioObjectID> ids{(*first)->device, (*first)->tap, (*first)->aggregate, (*second)->tap,
                              (*second)->aggregate};
  EXPECT_EQ(ids.size(), 5u);
}

TEST(ProcessTap, OnADeviceUidThatNamesNoSinkFailsAndWritesNoId) {
  CATapDescription* description = make_tap_description("no_such_sink", true);
  ASSERT_NE(description, nullptr);
  AudioObjectID tap = 12345;
  const OSStatus status = AudioHardwareCreateProcessTap(description, &tap);
  EXPECT_NE(status, 0);
  EXPECT_STATUS(kAudioHardwareBadDeviceError, status);
  EXPECT_EQ(tap, 12345u);
  NSObject_release(description);
}

TEST(ProcessTap, AMissingDescriptionOrOutParameterIsAParameterError) {
  AudioObjectID tap = 0;
  EXPECT_STATUS(kAudio_ParamError, AudioHardwareCreateProcessTap(nullptr, &tap));
  CATapDescription* description = make_tap_description(PrivateAudioServer::kSinkName, true);
  EXPECT_STATUS(kAudio_ParamError, AudioHardwareCreateProcessTap(description, nullptr));
  NSObject_release(description);
}

TEST(ProcessTap, DestroyedTapIsGoneAndASecondDestroyIsRefused) {
  CATapDescription* description = make_tap_description(PrivateAudioServer::kSinkName, true);
  AudioObjectID tap = 0;
  ASSERT_EQ(AudioHardwareCreateProcessTap(description, &tap), 0);
  NSObject_release(description);
  EXPECT_STATUS(0, AudioHardwareDestroyProcessTap(tap));
  std::string uid;
  EXPECT_STATUS(kAudioHardwareBadObjectError,
                read_string(tap, kAudioTapPropertyUID, kAudioObjectPropertyScopeGlobal, &uid));
  EXPECT_STATUS(kAudioHardwareBadObjectError, AudioHardwareDestroyProcessTap(tap));
}

TEST(AggregateDevice, AroundAnExistingTapAndDeviceIsCreatedAndDestroyedOnce) {
  auto chain = make_tap_chain(true);
  ASSERT_TRUE(chain);
  EXPECT_NE((*chain)->aggregate, kAudioObjectUnknown);
  std::string uid;
  EXPECT_STATUS(0, read_string((*chain)->aggregate, kAudioDevicePropertyDeviceUID,
                               kAudioObjectPropertyScopeGlobal, &uid));
  EXPECT_EQ(uid, "com.vantle.audio-helper.aggregate." + (*chain)->tap_uid);
  EXPECT_STATUS(0, AudioHardwareDestroyAggregateDevice((*chain)->aggregate));
  EXPECT_STATUS(kAudioHardwareBadDeviceError,
                AudioHardwareDestroyAggregateDevice((*chain)->aggregate));
  (*chain)->aggregate = 0;
}

// A description that differs from the valid one in one entry.
class AggregateChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    auto made = make_tap_chain(true);
    ASSERT_TRUE(made);
    chain = std::move(*made);
  }
  OSStatus create(CFDictionaryRef description) {
    AudioObjectID aggregate = 4242;
    const OSStatus status = AudioHardwareCreateAggregateDevice(description, &aggregate);
    CFRelease(description);
    if (status == 0) {
      AudioHardwareDestroyAggregateDevice(aggregate);
    } else {
      EXPECT_EQ(aggregate, 4242u) << "an id was written on failure";
    }
    return status;
  }
  // The valid description's "uid" and "subdevices", with taps (or none).
  CFDictionaryRef with_taps(CFTypeRef taps) {
    CFStringRef uid = make_string("test.aggregate.taps");
    CFStringRef device = make_string(chain->device_uid);
    CFDictionaryRef sub_device = make_dictionary({{"uid", device}});
    CFArrayRef devices = make_array({sub_device});
    std::vector<std::pair<std::string, CFTypeRef>> entries{{"uid", uid}, {"subdevices", devices}};
    if (taps != nullptr) entries.emplace_back("taps", taps);
    CFDictionaryRef description = make_dictionary(entries);
    for (CFTypeRef object :
         {CFTypeRef(devices), CFTypeRef(sub_device), CFTypeRef(device), CFTypeRef(uid)}) {
      CFRelease(object);
    }
    return description;
  }
  std::unique_ptr<TapChain> chain;
};

TEST_F(AggregateChecks, TheValidDescriptionIsAccepted) {
  EXPECT_STATUS(0, create(make_aggregate_description("test.aggregate.valid", chain->tap_uid,
                                                     chain->device_uid)));
}

TEST_F(AggregateChecks, ATapUidThatNamesNoTapIsRefused) {
  const OSStatus status =
      create(make_aggregate_description("test.aggregate.a", "NO-SUCH-TAP", chain->device_uid));
  EXPECT_STATUS(kAudioHardwareIllegalOperationError, status);
}

TEST_F(AggregateChecks, ASubDeviceUidThatNamesNoDeviceIsRefused) {
  const OSStatus status =
      create(make_aggregate_description("test.aggregate.b", chain->tap_uid, "no_such_sink"));
  EXPECT_STATUS(kAudioHardwareIllegalOperationError, status);
}

TEST_F(AggregateChecks, AUidAlreadyTakenByAnotherAggregateIsRefused) {
  // The chain's own aggregate holds this UID.
  const OSStatus status = create(make_aggregate_description(
      "com.vantle.audio-helper.aggregate." + chain->tap_uid, chain->tap_uid, chain->device_uid));
  EXPECT_STATUS(kAudioHardwareIllegalOperationError, status);
}

TEST_F(AggregateChecks, AMissingOrEmptyUidIsAParameterError) {
  EXPECT_STATUS(kAudio_ParamError,
                create(make_aggregate_description("", chain->tap_uid, chain->device_uid)));
  CFNumberRef number = nullptr;
  SInt32 seven = 7;
  number = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &seven);
  EXPECT_STATUS(kAudio_ParamError, create(make_dictionary({{"uid", number}})));
  CFRelease(number);
}

TEST_F(AggregateChecks, TapsThatAreMissingOrNotAnArrayOfDictionariesAreAParameterError) {
  EXPECT_STATUS(kAudio_ParamError, create(with_taps(nullptr)));
  CFStringRef tap_uid = make_string(chain->tap_uid);
  EXPECT_STATUS(kAudio_ParamError, create(with_taps(tap_uid)));
  CFArrayRef strings = make_array({tap_uid});
  EXPECT_STATUS(kAudio_ParamError, create(with_taps(strings)));
  CFDictionaryRef no_uid = make_dictionary({{"drift", kCFBooleanTrue}});
  CFArrayRef without_uid = make_array({no_uid});
  EXPECT_STATUS(kAudio_ParamError, create(with_taps(without_uid)));
  for (CFTypeRef object :
       {CFTypeRef(without_uid), CFTypeRef(no_uid), CFTypeRef(strings), CFTypeRef(tap_uid)}) {
    CFRelease(object);
  }
}

TEST_F(AggregateChecks, NoTapOrTwoTapsCannotBeCaptured) {
  CFArrayRef empty = make_array({});
  EXPECT_STATUS(kAudioHardwareIllegalOperationError, create(with_taps(empty)));
  CFStringRef tap_uid = make_string(chain->tap_uid);
  CFDictionaryRef sub_tap = make_dictionary({{"uid", tap_uid}});
  CFArrayRef two = make_array({sub_tap, sub_tap});
  EXPECT_STATUS(kAudioHardwareIllegalOperationError, create(with_taps(two)));
  for (CFTypeRef object :
       {CFTypeRef(two), CFTypeRef(sub_tap), CFTypeRef(tap_uid), CFTypeRef(empty)}) {
    CFRelease(object);
  }
}

TEST_F(AggregateChecks, ANullDescriptionOrOutParameterIsAParameterError) {
  AudioObjectID aggregate = 0;
  EXPECT_STATUS(kAudio_ParamError, AudioHardwareCreateAggregateDevice(nullptr, &aggregate));
  CFDictionaryRef description =
      make_aggregate_description("test.aggregate.c", chain->tap_uid, chain->device_uid);
  EXPECT_STATUS(kAudio_ParamError, AudioHardwareCreateAggregateDevice(description, nullptr));
  CFRelease(description);
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
  {
    auto chain = make_tap_chain(true);
    ASSERT_TRUE(chain);
    std::string uid;
    ASSERT_EQ(read_string((*chain)->device, kAudioDevicePropertyDeviceUID,
                          kAudioObjectPropertyScopeOutput, &uid),
              0);
  }
  for (const auto& entry : system_audio::standin::live_objects()) {
    ADD_FAILURE() << "still alive: " << entry.description << " (" << entry.references
                  << " references)";
  }
  for (const auto& fault : system_audio::standin::faults()) ADD_FAILURE() << fault;
}

}  // namespace
