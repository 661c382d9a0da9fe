#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "fake_platform.h"

namespace system_audio::fake {

class FakeTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }

  static platform::AudioObjectID read_id(platform::AudioObjectID object,
                                         platform::AudioObjectPropertySelector selector,
                                         platform::OSStatus* status = nullptr) {
    const platform::AudioObjectPropertyAddress address{selector,
                                                       platform::kAudioObjectPropertyScopeGlobal,
                                                       platform::kAudioObjectPropertyElementMain};
    platform::AudioObjectID id = 0;
    platform::UInt32 size = sizeof id;
    const auto result =
        platform::AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, &id);
    if (status != nullptr) *status = result;
    return id;
  }

  static platform::CFStringRef read_string(platform::AudioObjectID object,
                                           platform::AudioObjectPropertySelector selector,
                                           platform::AudioObjectPropertyScope scope) {
    const platform::AudioObjectPropertyAddress address{selector, scope,
                                                       platform::kAudioObjectPropertyElementMain};
    platform::CFStringRef string = nullptr;
    platform::UInt32 size = sizeof string;
    EXPECT_EQ(platform::AudioObjectGetPropertyData(object, &address, 0, nullptr, &size, &string),
              0);
    return string;
  }

  static platform::NSString* ns(std::string_view text) {
    return platform::NSString_alloc_initWithBytes_length_encoding(text.data(), text.size(),
                                                                  platform::NSUTF8StringEncoding);
  }

  // A tap description as the backend builds one, released by the caller.
  static platform::CATapDescription* tap_description() {
    platform::NSArray* processes = platform::NSArray_new();
    platform::NSString* uid = ns(kDefaultDeviceUid);
    platform::CATapDescription* tap =
        platform::CATapDescription_initExcludingProcesses_andDeviceUID_withStream(
            platform::CATapDescription_alloc(), processes, uid, 0);
    platform::NSObject_release(uid);
    platform::NSObject_release(processes);
    return tap;
  }

  // A one-entry aggregate description naming the tap's UID, released by the caller.
  static platform::CFDictionaryRef aggregate_description(std::string_view tap_uid) {
    platform::CFStringRef uid_key = standin::make_cfstring("uid");
    platform::CFStringRef uid = standin::make_cfstring(tap_uid);
    const void* keys[] = {uid_key};
    const void* values[] = {uid};
    platform::CFDictionaryRef sub_tap = platform::CFDictionaryCreate(
        nullptr, keys, values, 1, &platform::kCFTypeDictionaryKeyCallBacks,
        &platform::kCFTypeDictionaryValueCallBacks);
    const void* items[] = {sub_tap};
    platform::CFArrayRef taps =
        platform::CFArrayCreate(nullptr, items, 1, &platform::kCFTypeArrayCallBacks);
    platform::CFStringRef taps_key = standin::make_cfstring("taps");
    const void* main_keys[] = {taps_key};
    const void* main_values[] = {taps};
    platform::CFDictionaryRef description = platform::CFDictionaryCreate(
        nullptr, main_keys, main_values, 1, &platform::kCFTypeDictionaryKeyCallBacks,
        &platform::kCFTypeDictionaryValueCallBacks);
    for (platform::CFTypeRef object :
         {platform::CFTypeRef(taps_key), platform::CFTypeRef(taps), platform::CFTypeRef(sub_tap),
          platform::CFTypeRef(uid), platform::CFTypeRef(uid_key)}) {
      platform::CFRelease(object);
    }
    return description;
  }
};

}  // namespace system_audio::fake
