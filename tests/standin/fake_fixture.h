#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "cf_builders.h"
#include "fake_platform.h"

namespace system_audio::fake {

using namespace platform;

class FakeTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }

  // A tap description as the backend builds one, released by the caller.
  static CATapDescription* tap_description() {
    NSArray* processes = NSArray_new();
    NSString* uid = NSString_alloc_initWithBytes_length_encoding(
        kDefaultDeviceUid.data(), kDefaultDeviceUid.size(), NSUTF8StringEncoding);
    CATapDescription* tap = CATapDescription_initExcludingProcesses_andDeviceUID_withStream(
        CATapDescription_alloc(), processes, uid, 0);
    NSObject_release(uid);
    NSObject_release(processes);
    return tap;
  }

  // A one-entry aggregate description naming the tap's UID, released by the caller.
  static CFDictionaryRef aggregate_description(std::string_view tap_uid) {
    CFStringRef uid = standin::make_cfstring(tap_uid);
    CFDictionaryRef sub_tap = cf_builders::make_dictionary({{"uid", uid}});
    CFArrayRef taps = cf_builders::make_array({sub_tap});
    CFDictionaryRef description = cf_builders::make_dictionary({{"taps", taps}});
    cf_builders::release_all({taps, sub_tap, uid});
    return description;
  }
};

}  // namespace system_audio::fake
