#include "fake_fixture.h"
#include "system_audio/coreaudio/hal_properties.h"

namespace system_audio {
namespace {

using HalPropertyRead = testing::FakeHalTest;

TEST_F(HalPropertyRead, DefaultDeviceIsDOutOnTheSystemObjectInGlobalScopeWithFourBytes) {
  auto device = read_default_output_device();
  ASSERT_TRUE(device) << device.error();
  EXPECT_EQ(*device, fake::kDefaultDeviceId);
  EXPECT_EQ(fake::log(),
            std::vector<std::string>{"AudioObjectGetPropertyData(1, 'dOut', 'glob', 0, 4)"});
}

TEST_F(HalPropertyRead, DeviceUidIsReadInOutputScopeWithEightBytesEvenWhenEmpty) {
  auto uid = read_device_uid(73);
  ASSERT_TRUE(uid) << uid.error();
  EXPECT_EQ(standin::text_of(uid->get()), "FakeSpeakers:UID");
  EXPECT_EQ(uid->get(), fake::passed().device_uid);
  EXPECT_EQ(fake::log(),
            std::vector<std::string>{"AudioObjectGetPropertyData(73, 'uid ', 'outp', 0, 8)"});
  uid->reset();
  EXPECT_TRUE(fake::leftovers().empty()) << ::testing::PrintToString(fake::leftovers());

  fake::script().device_uid = u"";
  auto empty = read_device_uid(73);
  ASSERT_TRUE(empty) << empty.error();
  EXPECT_EQ(standin::text_of(empty->get()), "");
}

TEST_F(HalPropertyRead, TapFormatIsTfmtInGlobalScopeAndAShortSizeIsHandedBack) {
  const auto tap = create_tap();
  auto format = read_tap_format(tap);
  ASSERT_TRUE(format) << format.error();
  EXPECT_EQ(format->size, 40u);
  EXPECT_EQ(format->format.mSampleRate, 48000.0);
  EXPECT_EQ(format->format.mBitsPerChannel, 32u);
  EXPECT_EQ(fake::log(),
            std::vector<std::string>{"AudioObjectGetPropertyData(77, 'tfmt', 'glob', 0, 40)"});

  fake::script().tap_format_size = 36;
  auto partial = read_tap_format(tap);
  ASSERT_TRUE(partial) << partial.error();
  EXPECT_EQ(partial->size, 36u);
  // The four bytes the HAL did not write are zero, not left over from elsewhere.
  EXPECT_EQ(partial->format.mReserved, 0u);
  destroy_tap(tap);
}

TEST_F(HalPropertyRead, TapUidIsTuidInGlobalScopeWithEightBytes) {
  const auto tap = create_tap();
  auto uid = read_tap_uid(tap);
  ASSERT_TRUE(uid) << uid.error();
  EXPECT_EQ(standin::text_of(uid->get()), "7F1A2B3C-FAKE-TAP-0001");
  EXPECT_EQ(fake::log(),
            std::vector<std::string>{"AudioObjectGetPropertyData(77, 'tuid', 'glob', 0, 8)"});
  destroy_tap(tap);
}

}  // namespace
}  // namespace system_audio
