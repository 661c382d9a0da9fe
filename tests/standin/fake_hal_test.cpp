#include <string>
#include <vector>

#include "fake_fixture.h"

namespace system_audio::fake {
namespace {

using Strings = std::vector<std::string>;

void no_io(void*, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
           AudioBufferList*, const AudioTimeStamp*) {}

class FakeHal : public FakeTest {};

TEST_F(FakeHal, OneLogHoldsRuntimeAndHalCallsInOrder) {
  NSArray* processes = NSArray_new();
  AudioObjectPropertyAddress address{kAudioHardwarePropertyDefaultOutputDevice,
                                     kAudioObjectPropertyScopeGlobal, 0};
  AudioObjectID device = 0;
  UInt32 size = sizeof device;
  ASSERT_EQ(
      AudioObjectGetPropertyData(kAudioObjectSystemObject, &address, 0, nullptr, &size, &device),
      0);
  address = {kAudioDevicePropertyDeviceUID, kAudioObjectPropertyScopeOutput, 0};
  CFStringRef uid = nullptr;
  size = sizeof uid;
  ASSERT_EQ(AudioObjectGetPropertyData(device, &address, 0, nullptr, &size, &uid), 0);
  CFRelease(uid);
  NSObject_release(processes);
  EXPECT_EQ(log(),
            (Strings{"NSArray_new()", "AudioObjectGetPropertyData(1, 'dOut', 'glob', 0, 4)",
                     "AudioObjectGetPropertyData(73, 'uid ', 'outp', 0, 8)",
                     "CFRelease(CFString \"FakeSpeakers:UID\")", "NSObject_release(NSArray)"}));
  EXPECT_EQ(passed().device_uid, uid);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(FakeHal, TheTapFormatIsWrittenWithTheReportedSize) {
  CATapDescription* description = tap_description();
  AudioObjectID tap = 0;
  ASSERT_EQ(AudioHardwareCreateProcessTap(description, &tap), 0);
  EXPECT_EQ(tap, kDefaultTapId);
  const AudioObjectPropertyAddress address{kAudioTapPropertyFormat, kAudioObjectPropertyScopeGlobal,
                                           0};
  AudioStreamBasicDescription format{};
  UInt32 size = sizeof format;
  ASSERT_EQ(AudioObjectGetPropertyData(tap, &address, 0, nullptr, &size, &format), 0);
  EXPECT_EQ(size, 40u);
  EXPECT_EQ(format.mSampleRate, 48000.0);
  EXPECT_EQ(format.mBitsPerChannel, 32u);
  EXPECT_EQ(format.mChannelsPerFrame, 1u);

  script().tap_format_size = 36;
  script().tap_format.mBitsPerChannel = 16;
  script().tap_format.mFormatFlags = 12;
  format = {};
  size = sizeof format;
  ASSERT_EQ(AudioObjectGetPropertyData(tap, &address, 0, nullptr, &size, &format), 0);
  EXPECT_EQ(size, 36u);
  EXPECT_EQ(format.mBitsPerChannel, 16u);
  EXPECT_EQ(format.mReserved, 0u);  // past the reported size nothing is written

  EXPECT_EQ(AudioHardwareDestroyProcessTap(tap), 0);
  EXPECT_EQ(AudioHardwareDestroyProcessTap(tap), kAudioHardwareBadObjectError);
  ASSERT_TRUE(passed().tap_description);
  EXPECT_EQ(passed().tap_description->device_uid, kDefaultDeviceUid);
  NSObject_release(description);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(FakeHal, TheAggregateDescriptionStaysReadableAndItsTapMayNotGoFirst) {
  CATapDescription* description = tap_description();
  AudioObjectID tap = 0;
  ASSERT_EQ(AudioHardwareCreateProcessTap(description, &tap), 0);
  CFDictionaryRef aggregate_description = this->aggregate_description(kDefaultTapUid);
  AudioObjectID aggregate = 0;
  ASSERT_EQ(AudioHardwareCreateAggregateDevice(aggregate_description, &aggregate), 0);
  CFRelease(aggregate_description);
  NSObject_release(description);
  const auto copy = passed().aggregate_description;
  ASSERT_TRUE(copy && copy->find("taps"));
  EXPECT_EQ(copy->find("taps")->items.at(0).find("uid")->text, kDefaultTapUid);

  AudioHardwareDestroyProcessTap(tap);
  AudioHardwareDestroyAggregateDevice(aggregate);
  EXPECT_EQ(hal_faults(),
            Strings{"AudioHardwareDestroyProcessTap(77) while aggregate device 88 uses it"});
}

TEST_F(FakeHal, AnIoProcIdIsWrittenOnlyOnSuccessAndStartKnowsItsIoProcs) {
  CFDictionaryRef description = aggregate_description("none");
  AudioObjectID aggregate = 0;
  ASSERT_EQ(AudioHardwareCreateAggregateDevice(description, &aggregate), 0);
  CFRelease(description);
  dispatch_queue_t queue = dispatch_queue_create("com.vantle.test.audio-tap", nullptr);
  AudioDeviceIOBlock block = AudioDeviceIOBlock_create(no_io, nullptr);

  script().create_io_proc_status = kAudioHardwareIllegalOperationError;
  AudioDeviceIOProcID proc = nullptr;
  EXPECT_EQ(AudioDeviceCreateIOProcIDWithBlock(&proc, aggregate, queue, block),
            kAudioHardwareIllegalOperationError);
  EXPECT_EQ(proc, nullptr);
  script().create_io_proc_status = 0;
  ASSERT_EQ(AudioDeviceCreateIOProcIDWithBlock(&proc, aggregate, queue, block), 0);
  ASSERT_NE(proc, nullptr);
  EXPECT_EQ(passed().queue_label, "com.vantle.test.audio-tap");
  EXPECT_EQ(passed().block, block);

  int stranger = 0;
  EXPECT_EQ(AudioDeviceStart(aggregate, reinterpret_cast<AudioDeviceIOProcID>(&stranger)),
            kAudioHardwareBadObjectError);
  EXPECT_EQ(AudioDeviceStart(kDefaultDeviceId, proc), kAudioHardwareBadObjectError);
  EXPECT_EQ(AudioDeviceStart(aggregate, proc), 0);
  EXPECT_EQ(live_hal_objects().io_procs, Strings{"IOProc#1 on 88 (started)"});

  // The registration holds its own references: releasing ours keeps both alive.
  Block_release(block);
  dispatch_release(queue);
  EXPECT_EQ(standin::live_objects().size(), 2u);
  EXPECT_EQ(AudioDeviceDestroyIOProcID(kDefaultDeviceId, proc), kAudioHardwareBadObjectError);
  EXPECT_EQ(AudioDeviceDestroyIOProcID(aggregate, proc), 0);
  EXPECT_EQ(AudioHardwareDestroyAggregateDevice(aggregate), 0);
  EXPECT_EQ(leftovers(), Strings{"HAL fault: AudioDeviceDestroyIOProcID(73, IOProc#1): IOProc#1 "
                                 "is registered on 88"});
  EXPECT_EQ(log().back(), "AudioHardwareDestroyAggregateDevice(88)");
}

TEST_F(FakeHal, TheNthMatchingRuntimeCallFails) {
  script().runtime_failures.push_back({"CFStringCreateWithBytes", "\"drift\"", 2});
  std::vector<CFStringRef> made;
  for (const char* text : {"drift", "uid", "drift", "drift"}) {
    made.push_back(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(text),
                                           CFIndex(std::string_view(text).size()),
                                           kCFStringEncodingUTF8, false));
  }
  EXPECT_EQ(made[2], nullptr);
  for (CFStringRef string : {made[0], made[1], made[3]}) {
    ASSERT_NE(string, nullptr);
    CFRelease(string);
  }

  script().no_tap_description_class = true;
  script().nil_ns_array = true;
  script().null_queue = true;
  script().null_block = true;
  EXPECT_EQ(CATapDescription_alloc(), nullptr);
  EXPECT_EQ(NSArray_new(), nullptr);
  EXPECT_EQ(dispatch_queue_create("q", nullptr), nullptr);
  EXPECT_EQ(AudioDeviceIOBlock_create(no_io, nullptr), nullptr);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(FakeHal, AResetDropsWhatATestLeftBehind) {
  CFDictionaryRef description = aggregate_description("none");
  AudioObjectID aggregate = 0;
  AudioHardwareCreateAggregateDevice(description, &aggregate);
  CFRelease(description);
  dispatch_queue_t queue = dispatch_queue_create("left", nullptr);
  AudioDeviceIOBlock block = AudioDeviceIOBlock_create(no_io, nullptr);
  AudioDeviceIOProcID proc = nullptr;
  AudioDeviceCreateIOProcIDWithBlock(&proc, aggregate, queue, block);
  script().tap_id = 5;
  EXPECT_EQ(leftovers(), (Strings{"aggregate device 88", "IOProc#1 on 88",
                                  "dispatch_queue \"left\" (2 references)",
                                  "AudioDeviceIOBlock (2 references)"}));
  reset();
  EXPECT_TRUE(leftovers().empty());
  EXPECT_TRUE(log().empty());
  EXPECT_EQ(script().tap_id, kDefaultTapId);
}

}  // namespace
}  // namespace system_audio::fake
