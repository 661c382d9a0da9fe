#include <string>
#include <vector>

#include "runtime_fixture.h"

namespace system_audio::standin {
namespace {

using namespace platform;

class TapDescription : public RuntimeTest {
 protected:
  static NSString* ns(std::string_view text) {
    return NSString_alloc_initWithBytes_length_encoding(text.data(), text.size(),
                                                        NSUTF8StringEncoding);
  }
};

TEST_F(TapDescription, KeepsCopiesOfWhatItWasGiven) {
  NSArray* processes = NSArray_new();
  NSString* uid = ns("BuiltInSpeakerDevice");
  NSString* name = ns("Vantle Computer Audio");
  CATapDescription* tap = CATapDescription_initExcludingProcesses_andDeviceUID_withStream(
      CATapDescription_alloc(), processes, uid, 0);
  ASSERT_NE(tap, nullptr);
  CATapDescription_setName(tap, name);
  CATapDescription_setMixdown(tap, true);
  CATapDescription_setMono(tap, true);
  CATapDescription_setExclusive(tap, true);
  CATapDescription_setPrivate(tap, true);
  CATapDescription_setMuteBehavior(tap, CATapMutedWhenTapped);
  NSObject_release(name);
  NSObject_release(uid);
  NSObject_release(processes);

  const auto fields = tap_description_fields(tap);
  ASSERT_TRUE(fields);
  EXPECT_TRUE(fields->initialised);
  EXPECT_EQ(fields->excluded_processes, 0u);
  EXPECT_EQ(fields->device_uid, "BuiltInSpeakerDevice");
  EXPECT_EQ(fields->stream, 0);
  EXPECT_EQ(fields->name, "Vantle Computer Audio");
  EXPECT_TRUE(fields->mixdown && fields->mono && fields->exclusive && fields->is_private);
  EXPECT_EQ(fields->mute_behavior, CATapMutedWhenTapped);
  NSObject_release(tap);
  EXPECT_TRUE(alive().empty());
  EXPECT_TRUE(faults().empty());
}

TEST_F(TapDescription, AFailedInitialiserConsumesTheAllocation) {
  NSArray* processes = NSArray_new();
  // Without a device UID the initialiser fails and must not leak what alloc made.
  EXPECT_EQ(CATapDescription_initExcludingProcesses_andDeviceUID_withStream(
                CATapDescription_alloc(), processes, nullptr, 0),
            nullptr);
  NSObject_release(processes);
  EXPECT_TRUE(alive().empty());
  EXPECT_TRUE(faults().empty());
}

TEST_F(TapDescription, MessagesToNilDoNothingAndToReleasedObjectsAreRecorded) {
  CATapDescription_setMono(nullptr, true);
  EXPECT_EQ(
      CATapDescription_initExcludingProcesses_andDeviceUID_withStream(nullptr, nullptr, nullptr, 0),
      nullptr);
  EXPECT_TRUE(faults().empty());
  CATapDescription* allocated = CATapDescription_alloc();
  CATapDescription_setMono(allocated, true);
  NSObject_release(allocated);
  CATapDescription_setMono(allocated, true);
  EXPECT_EQ(faults(), (std::vector<std::string>{
                          "CATapDescription_setMono sent to an uninitialised CATapDescription",
                          "CATapDescription_setMono sent to released CATapDescription"}));
}

}  // namespace
}  // namespace system_audio::standin
