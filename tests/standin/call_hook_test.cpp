#include <functional>
#include <string>
#include <vector>

#include "runtime_fixture.h"

namespace system_audio::standin {
namespace {

using namespace platform;
using Strings = std::vector<std::string>;

class CallHookTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    set_call_hook([this](std::string_view function, std::string_view arguments) {
      calls.push_back(std::string(function) + "(" + std::string(arguments) + ")");
      return refused.empty() || function != refused;
    });
  }
  Strings calls;
  std::string refused;
};

TEST_F(CallHookTest, EachCallIsReportedWithItsArgumentsInOrder) {
  NSArray* processes = NSArray_new();
  CFStringRef key = cf("uid");
  const SInt32 one = 1;
  CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &one);
  const void* keys[] = {key};
  const void* values[] = {number};
  CFDictionaryRef dictionary = CFDictionaryCreate(
      nullptr, keys, values, 1, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  CFRelease(number);
  CFRelease(key);
  CFRelease(dictionary);  // its own releases of key and number are not calls of the caller
  NSObject_release(processes);
  EXPECT_EQ(calls, (Strings{
                       "NSArray_new()",
                       "CFStringCreateWithBytes(\"uid\", UTF8)",
                       "CFNumberCreate(SInt32 1)",
                       "CFDictionaryCreate({CFString \"uid\": CFNumber 1}, kCFType, kCFType)",
                       "CFRelease(CFNumber 1)",
                       "CFRelease(CFString \"uid\")",
                       "CFRelease(CFDictionary{1})",
                       "NSObject_release(NSArray)",
                   }));
  // Without a hook nothing is reported and nothing fails.
  set_call_hook({});
  CFStringRef string = cf("x");
  ASSERT_NE(string, nullptr);
  CFRelease(string);
  EXPECT_EQ(calls.size(), 8u);
}

TEST_F(CallHookTest, ARefusedCallFailsAndMakesNothing) {
  const UInt8 bytes[] = {'x'};
  const SInt32 one = 1;
  NSArray* processes = nullptr;
  const std::vector<std::pair<std::string, std::function<const void*()>>> fallible = {
      {"CFStringCreateWithBytes",
       [&] { return CFStringCreateWithBytes(nullptr, bytes, 1, kCFStringEncodingUTF8, false); }},
      {"CFStringCreateWithBytesNoCopy",
       [&] {
         return CFStringCreateWithBytesNoCopy(nullptr, bytes, 1, kCFStringEncodingUTF8, false,
                                              kCFAllocatorNull);
       }},
      {"CFNumberCreate", [&] { return CFNumberCreate(nullptr, kCFNumberSInt32Type, &one); }},
      {"CFArrayCreate", [&] { return CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks); }},
      {"CFDictionaryCreate",
       [&] { return CFDictionaryCreate(nullptr, nullptr, nullptr, 0, nullptr, nullptr); }},
      {"NSArray_new", [&] { return NSArray_new(); }},
      {"NSString_alloc_initWithBytes_length_encoding",
       [&] { return NSString_alloc_initWithBytes_length_encoding("x", 1, NSUTF8StringEncoding); }},
      {"CATapDescription_alloc", [&] { return CATapDescription_alloc(); }},
      {"CATapDescription_initExcludingProcesses_andDeviceUID_withStream",
       [&] {
         NSString* uid = NSString_alloc_initWithBytes_length_encoding("u", 1, NSUTF8StringEncoding);
         const void* tap = CATapDescription_initExcludingProcesses_andDeviceUID_withStream(
             CATapDescription_alloc(), processes, uid, 0);
         NSObject_release(uid);
         return tap;
       }},
      {"dispatch_queue_create", [&] { return dispatch_queue_create("q", nullptr); }},
      {"AudioDeviceIOBlock_create",
       [&] {
         return AudioDeviceIOBlock_create([](void*, auto, auto, auto, auto, auto) {}, nullptr);
       }},
  };
  for (const auto& [function, call] : fallible) {
    refused = "";
    processes = NSArray_new();
    refused = function;
    EXPECT_EQ(call(), nullptr) << function;
    refused = "";
    NSObject_release(processes);
    EXPECT_TRUE(alive().empty()) << function;
  }
  EXPECT_TRUE(faults().empty());
}

}  // namespace
}  // namespace system_audio::standin
