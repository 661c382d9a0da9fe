#include "fake_fixture.h"
#include "system_audio/coreaudio/io_proc.h"

namespace system_audio {
namespace {

using CleanupHal = testing::FakeHalTest;

const std::vector<std::string> kAggregateThenTap = {"AudioHardwareDestroyAggregateDevice(88)",
                                                    "AudioHardwareDestroyProcessTap(77)"};

TEST_F(CleanupHal, DestroysOnlyWhatExistsAggregateFirst) {
  cleanup_hal(0, 0, nullptr);
  EXPECT_TRUE(fake::log().empty());
  cleanup_hal(77, 0, nullptr);
  EXPECT_EQ(fake::log(), std::vector<std::string>{"AudioHardwareDestroyProcessTap(77)"});
  fake::clear_log();
  cleanup_hal(77, 88, nullptr);
  EXPECT_EQ(fake::log(), kAggregateThenTap);
}

TEST_F(CleanupHal, HalObjectsGuardCleansUpUnlessHandedOver) {
  {
    HalObjects hal;
    hal.ids.tap_id = 77;
    hal.ids.aggregate_id = 88;
  }
  EXPECT_EQ(fake::log(), kAggregateThenTap);
  fake::clear_log();
  HalIds taken;
  {
    HalObjects hal;
    hal.ids.tap_id = 77;
    taken = hal.release();
  }
  EXPECT_TRUE(fake::log().empty());
  EXPECT_EQ(taken.tap_id, 77u);
}

}  // namespace
}  // namespace system_audio
