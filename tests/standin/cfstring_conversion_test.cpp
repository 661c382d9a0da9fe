#include <string>
#include <vector>

#include "runtime_fixture.h"

namespace system_audio::standin {
namespace {

using namespace platform;

class CfStringConversion : public RuntimeTest {
 protected:
  void TearDown() override {
    EXPECT_TRUE(alive().empty());
    EXPECT_TRUE(faults().empty());
    RuntimeTest::TearDown();
  }
};

TEST_F(CfStringConversion, UnpairedSurrogatesReadAsOneReplacementEach) {
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  const std::vector<std::pair<std::u16string, std::string>> cases = {
      {u"ab\xD800"
       u"cd",
       "ab" + r + "cd"},
      {u"ab\xDC00"
       u"cd",
       "ab" + r + "cd"},
      {u"ab\xD83D", "ab" + r},
      {u"\xDE00\xD83D", r + r},  // a pair in the wrong order is two strays
      {u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
  };
  for (const auto& [units, expected] : cases) {
    CFStringRef string = make_cfstring_utf16(units);
    EXPECT_EQ(text_of(string), expected);
    CFRelease(string);
  }
}

TEST_F(CfStringConversion, GetBytesConvertsWholeCharactersOfAValidRangeOnly) {
  CFStringRef length_check = cf("a\xF0\x9F\x8E\xB5\xE2\x82\xAC");
  EXPECT_EQ(CFStringGetLength(length_check), 4);  // UTF-16 units
  CFRelease(length_check);
  const struct {
    std::u16string units;
    CFRange range;
    UInt8 loss_byte;
    CFIndex capacity;  // 0: no buffer, only the count is asked for
    CFIndex converted;
    CFIndex used;
    std::string bytes;
    std::string fault;
  } cases[] = {
      // A stray unit converts to nothing without a loss byte.
      {u"\xD800x", {0, 2}, 0, 8, 0, 0, "", ""},
      {u"\xD800x", {0, 2}, '?', 8, 2, 2, "?x", ""},
      // A character that does not fit is left for the next call, never split.
      {u"\xD83C\xDFB5", {0, 2}, 0, 3, 0, 0, "", ""},
      {u"a\x20AC", {0, 2}, 0, 3, 1, 1, "a", ""},
      {u"ab\xE9", {0, 3}, 0, 3, 2, 2, "ab", ""},
      {u"\xD83C\xDFB5", {0, 2}, 0, 0, 2, 4, "", ""},
      {u"abc", {2, 2}, 0, 8, 0, 0, "", "CFStringGetBytes range out of bounds"},
  };
  for (const auto& c : cases) {
    CFStringRef string = make_cfstring_utf16(c.units);
    UInt8 buffer[8];
    CFIndex used = 99;
    EXPECT_EQ(CFStringGetBytes(string, c.range, kCFStringEncodingUTF8, c.loss_byte, false,
                               c.capacity > 0 ? buffer : nullptr, c.capacity, &used),
              c.converted);
    EXPECT_EQ(used, c.used);
    const std::size_t written = c.capacity > 0 ? std::size_t(used) : 0;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), written), c.bytes);
    CFRelease(string);
    if (!c.fault.empty()) {
      EXPECT_EQ(faults(), std::vector<std::string>{c.fault});
      reset_ledger();
    }
  }
}

TEST_F(CfStringConversion, InvalidUtf8MakesNoString) {
  // Overlong, surrogate code points, truncated, stray continuations, past U+10FFFF, never valid.
  const std::vector<std::string> invalid = {"\xC0\xAF",
                                            "\xE0\x80\xAF",
                                            "\xF0\x80\x80\xAF",
                                            "\xED\xA0\x80",
                                            "\xED\xBF\xBF",
                                            "ok\xE2\x82",
                                            "\xF0\x9F\x8E",
                                            "\xC3",
                                            "\x80",
                                            std::string("a\xBF") + "b",
                                            "\xF4\x90\x80\x80",
                                            "\xFF",
                                            "\xF8\x88\x80\x80\x80"};
  for (const auto& bytes : invalid) {
    EXPECT_EQ(cf(bytes), nullptr) << testing::PrintToString(bytes);
    EXPECT_EQ(NSString_alloc_initWithBytes_length_encoding(bytes.data(), bytes.size(),
                                                           NSUTF8StringEncoding),
              nullptr);
  }
  EXPECT_EQ(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>("ok"), 2,
                                    0x0600 /* ASCII */, false),
            nullptr);
  // The edges of what is valid still convert.
  for (const std::string bytes : {"\xF4\x8F\xBF\xBF", "\xEF\xBF\xBF", "\xED\x9F\xBF", ""}) {
    CFStringRef string = cf(bytes);
    ASSERT_NE(string, nullptr);
    EXPECT_EQ(text_of(string), bytes);
    CFRelease(string);
  }
}

TEST_F(CfStringConversion, NoCopyLeavesTheBytesAloneAndRecordsAFreeingDeallocator) {
  // A stack buffer: freeing it would abort under AddressSanitizer.
  char bytes[] = "Vantle Computer Audio";
  CFStringRef string = CFStringCreateWithBytesNoCopy(
      kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bytes), sizeof bytes - 1,
      kCFStringEncodingUTF8, false, kCFAllocatorNull);
  ASSERT_NE(string, nullptr);
  EXPECT_EQ(text_of(string), "Vantle Computer Audio");
  CFRelease(string);
  EXPECT_STREQ(bytes, "Vantle Computer Audio");
  EXPECT_TRUE(faults().empty());

  static const char constant[] = "constant";
  CFRelease(CFStringCreateWithBytesNoCopy(nullptr, reinterpret_cast<const UInt8*>(constant), 8,
                                          kCFStringEncodingUTF8, false, kCFAllocatorDefault));
  EXPECT_EQ(faults(), std::vector<std::string>{
                          "CFStringCreateWithBytesNoCopy with deallocator kCFAllocatorDefault"});
  reset_ledger();
}

}  // namespace
}  // namespace system_audio::standin
