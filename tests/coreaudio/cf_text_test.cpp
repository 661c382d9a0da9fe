#include <string>

#include "fake_fixture.h"
#include "system_audio/coreaudio/cf_text.h"

namespace system_audio {
namespace {

using testing::FakeHalTest;

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// A string the test owns, released at scope end.
CfRef<platform::CFStringRef> utf16(std::u16string_view units) {
  return CfRef<platform::CFStringRef>(standin::make_cfstring_utf16(units));
}
CfRef<platform::CFStringRef> utf8(std::string_view text) {
  return CfRef<platform::CFStringRef>(standin::make_cfstring(text));
}

std::vector<std::string> get_bytes_ranges() {
  std::vector<std::string> ranges;
  for (const auto& call : fake::log()) {
    if (!call.starts_with("CFStringGetBytes(")) continue;
    const auto open = call.find(", {");
    const auto close = call.find('}', open);
    ranges.push_back(call.substr(open + 2, close - open - 1));
  }
  return ranges;
}

using CfKey = FakeHalTest;

TEST_F(CfKey, MakesAStringOfValidUtf8Only) {
  for (const char* good : {"tapautostart", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xA7"}) {
    fake::clear_log();
    auto key = cf_key(good);
    ASSERT_TRUE(key) << key.error();
    EXPECT_EQ(standin::text_of(key->get()), good);
    EXPECT_EQ(fake::log(), std::vector<std::string>{"CFStringCreateWithBytes(\"" +
                                                    std::string(good) + "\", UTF8)"});
  }
  fake::clear_log();
  for (const char* bad :
       {"\xC3\x28", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "ab\xE2\x82", "\xFF", "\x80"}) {
    auto key = cf_key(bad);
    ASSERT_FALSE(key) << "accepted " << ::testing::PrintToString(std::string(bad));
    EXPECT_EQ(key.error(), "CoreAudio dictionary key was not UTF-8");
  }
  EXPECT_TRUE(fake::log().empty());
  EXPECT_TRUE(fake::leftovers().empty());
}

using CfStringToText = FakeHalTest;

TEST_F(CfStringToText, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::string r(kReplacement);
  EXPECT_EQ(cfstring_to_text(utf16(u"a\xD800\x62").get()), "a" + r + "b");
  EXPECT_EQ(cfstring_to_text(utf16(u"a\xDC00\x62").get()), "a" + r + "b");
  EXPECT_EQ(cfstring_to_text(utf16(u"ab\xD83C").get()), "ab" + r);
  EXPECT_EQ(cfstring_to_text(utf16(u"\xDC00\xD800").get()), r + r);
  // A proper pair is one character, not two replacements.
  EXPECT_EQ(cfstring_to_text(utf16(u"\xD83C\xDFA7").get()), "\xF0\x9F\x8E\xA7");
}

TEST_F(CfStringToText, LongStringsConvertPieceByPieceToTheWholeText) {
  for (std::size_t length : {31u, 32u, 33u, 63u, 64u, 65u, 200u}) {
    // A four-byte character straddling every 32-byte boundary.
    const std::string odd = "ab" + std::string(length, 'q');
    std::string mixed;
    while (mixed.size() < length) mixed += mixed.size() % 32 == 30 ? "\xF0\x9F\x8E\xA7" : "z";
    EXPECT_EQ(cfstring_to_text(utf8(odd).get()), odd);
    EXPECT_EQ(cfstring_to_text(utf8(mixed).get()), mixed);
  }
}

TEST_F(CfStringToText, ReadsThirtyTwoBytesAtATimeUntilNothingIsLeft) {
  auto string = utf8(std::string(100, 'a'));
  fake::clear_log();
  EXPECT_EQ(cfstring_to_text(string.get()), std::string(100, 'a'));
  EXPECT_EQ(get_bytes_ranges(),
            (std::vector<std::string>{"{0, 100}", "{32, 68}", "{64, 36}", "{96, 4}", "{100, 0}"}));
}

TEST_F(CfStringToText, ReplacementAdvancesOneUnitAndConversionGoesOn) {
  auto string = utf16(
      u"ab\xD800"
      u"cd");
  fake::clear_log();
  EXPECT_EQ(cfstring_to_text(string.get()), "ab" + std::string(kReplacement) + "cd");
  EXPECT_EQ(get_bytes_ranges(), (std::vector<std::string>{"{0, 5}", "{2, 3}", "{3, 2}", "{5, 0}"}));
}

TEST_F(CfStringToText, EmptyOrNullStringGivesEmptyText) {
  EXPECT_EQ(cfstring_to_text(utf8("").get()), "");
  EXPECT_EQ(cfstring_to_text(nullptr), "");
}

}  // namespace
}  // namespace system_audio
