#include <gtest/gtest.h>

#include "system_audio/coreaudio/hal_status.h"

namespace system_audio {
namespace {

std::string error_of(platform::OSStatus status, std::string_view what) {
  auto result = status_ok(status, what);
  return result ? std::string("<success>") : result.error();
}

TEST(HalStatusText, PrintableCodesShowAsCharactersOthersRepeatTheNumber) {
  EXPECT_EQ(error_of(0, "read default output device"), "<success>");
  const std::pair<platform::OSStatus, std::string> cases[] = {
      {platform::kAudioHardwareBadObjectError, "560947818 (!obj)"},
      {0x41424344, "1094861636 (ABCD)"},  // most significant byte first
      {0x20202020, "538976288 (    )"},
      {0x7E7E7E7E, "2122219134 (~~~~)"},
      {-50, "-50 (-50)"},
      {INT32_MIN, "-2147483648 (-2147483648)"},
      {1, "1 (1)"},
  };
  for (const auto& [status, text] : cases) {
    EXPECT_EQ(error_of(status, "start CoreAudio tap IO"),
              "start CoreAudio tap IO failed: OSStatus " + text);
  }
}

TEST(HalStatusText, AnyUnprintableByteGivesTheDecimalCode) {
  // 0x7F (DEL) and a byte below 0x20, each in every position.
  for (int shift = 0; shift < 32; shift += 8) {
    for (std::uint32_t odd : {0x7Fu, 0x1Fu}) {
      const auto code = std::int32_t((0x41414141u & ~(0xFFu << shift)) | (odd << shift));
      EXPECT_EQ(error_of(code, "x"),
                "x failed: OSStatus " + std::to_string(code) + " (" + std::to_string(code) + ")");
    }
  }
}

}  // namespace
}  // namespace system_audio
