#include "fake_fixture.h"
#include "system_audio/coreaudio/hal_properties.h"

namespace system_audio {
namespace {

using testing::FakeHalTest;

using DefaultOutputDeviceRead = FakeHalTest;

TEST_F(DefaultOutputDeviceRead, AsksTheSystemObjectForDOutInGlobalScopeWithFourBytes) {
  auto device = read_default_output_device();
  ASSERT_TRUE(device) << device.error();
  EXPECT_EQ(*device, fake::kDefaultDeviceId);
  EXPECT_EQ(fake::log(),
            std::vector<std::string>{"AudioObjectGetPropertyData(1, 'dOut', 'glob', 0, 4)"});
}

using DeviceUidRead = FakeHalTest;

TEST_F(DeviceUidRead, AsksTheDeviceForItsUidInOutputScopeWithEightBytes) {
  auto uid = read_device_uid(73);
  ASSERT_TRUE(uid) << uid.error();
  EXPECT_EQ(standin::text_of(uid->get()), "FakeSpeakers:UID");
  EXPECT_EQ(uid->get(), fake::passed().device_uid);
  EXPECT_EQ(fake::log(),
            std::vector<std::string>{"AudioObjectGetPropertyData(73, 'uid ', 'outp', 0, 8)"});
  uid->reset();
  EXPECT_TRUE(fake::leftovers().empty()) << ::testing::PrintToString(fake::leftovers());
}

TEST_F(DeviceUidRead, ZeroLengthStringPassesUnchanged) {
  fake::script().device_uid = u"";
  auto uid = read_device_uid(73);
  ASSERT_TRUE(uid) << uid.error();
  EXPECT_EQ(standin::text_of(uid->get()), "");
}

// The tap reads need a tap to read from.
class TapRead : public FakeHalTest {
 protected:
  void SetUp() override {
    FakeHalTest::SetUp();
    tap_ = create_tap();
  }
  void TearDown() override {
    destroy_tap(tap_);
    FakeHalTest::TearDown();
  }
  platform::AudioObjectID tap_ = 0;
};

using TapFormatRead = TapRead;

TEST_F(TapFormatRead, AsksTheTapForTfmtInGlobalScopeWithFortyBytes) {
  auto format = read_tap_format(tap_);
  ASSERT_TRUE(format) << format.error();
  EXPECT_EQ(format->size, 40u);
  EXPECT_EQ(format->format.mSampleRate, 48000.0);
  EXPECT_EQ(format->format.mBitsPerChannel, 32u);
  EXPECT_EQ(fake::log(),
            std::vector<std::string>{"AudioObjectGetPropertyData(77, 'tfmt', 'glob', 0, 40)"});
}

TEST_F(TapFormatRead, ShortSizeIsHandedBackForTheCallerToJudge) {
  fake::script().tap_format_size = 36;
  auto format = read_tap_format(tap_);
  ASSERT_TRUE(format) << format.error();
  EXPECT_EQ(format->size, 36u);
  // The four bytes the HAL did not write are zero, not left over from elsewhere.
  EXPECT_EQ(format->format.mReserved, 0u);
}

using TapUidRead = TapRead;

TEST_F(TapUidRead, AsksTheTapForTuidInGlobalScopeWithEightBytes) {
  auto uid = read_tap_uid(tap_);
  ASSERT_TRUE(uid) << uid.error();
  EXPECT_EQ(standin::text_of(uid->get()), "7F1A2B3C-FAKE-TAP-0001");
  EXPECT_EQ(fake::log(),
            std::vector<std::string>{"AudioObjectGetPropertyData(77, 'tuid', 'glob', 0, 8)"});
}

}  // namespace
}  // namespace system_audio
