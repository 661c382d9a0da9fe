#include <gtest/gtest.h>

#include "system_audio/coreaudio/hal_status.h"

namespace system_audio {
namespace {

std::string error_of(platform::OSStatus status, std::string_view what) {
  auto result = status_ok(status, what);
  return result ? std::string("<success>") : result.error();
}

TEST(HalStatusText, ZeroIsSuccess) {
  EXPECT_TRUE(status_ok(0, "read default output device"));
}

TEST(HalStatusText, PrintableFourCharCodeIsShownAsCharacters) {
  EXPECT_EQ(error_of(2003332927, "read CoreAudio tap UID"),
            "read CoreAudio tap UID failed: OSStatus 2003332927 (who?)");
  EXPECT_EQ(error_of(platform::kAudioHardwareBadObjectError, "create CoreAudio process tap"),
            "create CoreAudio process tap failed: OSStatus 560947818 (!obj)");
}

TEST(HalStatusText, NegativeStatusRepeatsTheDecimalNumber) {
  EXPECT_EQ(error_of(-50, "read default output device"),
            "read default output device failed: OSStatus -50 (-50)");
  EXPECT_EQ(error_of(INT32_MIN, "start CoreAudio tap IO"),
            "start CoreAudio tap IO failed: OSStatus -2147483648 (-2147483648)");
}

TEST(HalStatusText, FourSpacesAreAPrintableCode) {
  EXPECT_EQ(error_of(0x20202020, "create CoreAudio tap IOProc"),
            "create CoreAudio tap IOProc failed: OSStatus 538976288 (    )");
  EXPECT_EQ(error_of(0x7E7E7E7E, "x"), "x failed: OSStatus 2122219134 (~~~~)");
}

TEST(HalStatusText, AnyUnprintableByteGivesTheDecimalCode) {
  // 0x7F (DEL) and a byte below 0x20, each in every position.
  for (int shift = 0; shift < 32; shift += 8) {
    const auto base = std::uint32_t(0x41414141);
    const auto del = std::int32_t((base & ~(0xFFu << shift)) | (0x7Fu << shift));
    const auto low = std::int32_t((base & ~(0xFFu << shift)) | (0x1Fu << shift));
    EXPECT_EQ(error_of(del, "x"),
              "x failed: OSStatus " + std::to_string(del) + " (" + std::to_string(del) + ")");
    EXPECT_EQ(error_of(low, "x"),
              "x failed: OSStatus " + std::to_string(low) + " (" + std::to_string(low) + ")");
  }
  EXPECT_EQ(error_of(1, "x"), "x failed: OSStatus 1 (1)");
}

TEST(HalStatusText, CodeCharactersRunFromTheMostSignificantByte) {
  EXPECT_EQ(error_of(0x41424344, "x"), "x failed: OSStatus 1094861636 (ABCD)");
}

}  // namespace
}  // namespace system_audio
