#include <string>
#include <vector>

#include "runtime_fixture.h"

namespace system_audio::standin {
namespace {

using namespace platform;

const std::string kReplacement = "\xEF\xBF\xBD";

struct Pieces {
  std::string text;
  std::vector<std::string> pieces;
};

// The backend's conversion loop: 32-byte pieces, loss byte 0, one U+FFFD for
// a unit that converts to nothing.
Pieces convert_in_pieces(CFStringRef string) {
  Pieces result;
  const CFIndex length = CFStringGetLength(string);
  CFIndex position = 0;
  // Each round takes at least one unit; more rounds than units is a runaway.
  for (CFIndex round = 0; round <= 4 * length + 1; ++round) {
    UInt8 buffer[32];
    CFIndex used = 0;
    const CFIndex converted =
        CFStringGetBytes(string, CFRange{position, length - position}, kCFStringEncodingUTF8, 0,
                         false, buffer, sizeof buffer, &used);
    if (converted > 0) {
      result.pieces.emplace_back(reinterpret_cast<const char*>(buffer), used);
      result.text += result.pieces.back();
      position += converted;
    } else if (position < length) {
      result.text += kReplacement;
      position += 1;
    } else {
      return result;
    }
  }
  ADD_FAILURE() << "conversion did not end";
  return result;
}

class CfStringConversion : public RuntimeTest {
 protected:
  void TearDown() override {
    EXPECT_TRUE(alive().empty());
    EXPECT_TRUE(faults().empty());
    RuntimeTest::TearDown();
  }
};

TEST_F(CfStringConversion, UnpairedSurrogatesBecomeOneReplacementEach) {
  const std::string r = kReplacement;
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
    EXPECT_EQ(convert_in_pieces(string).text, expected);
    EXPECT_EQ(text_of(string), expected);
    CFRelease(string);
  }
}

TEST_F(CfStringConversion, PiecesNeverSplitACharacterAtTheBufferEdge) {
  // Shift 4-, 3- and 2-byte characters across the 32-byte edge one byte at a time.
  for (const std::string character : {"\xF0\x9F\x8E\xB5", "\xE2\x82\xAC", "\xC3\xA9"}) {
    for (std::size_t prefix = 26; prefix <= 33; ++prefix) {
      std::string text(prefix, 'a');
      for (int i = 0; i < 20; ++i) text += character;
      CFStringRef string = make_cfstring(text);
      ASSERT_NE(string, nullptr);
      const Pieces pieces = convert_in_pieces(string);
      CFRelease(string);
      EXPECT_EQ(pieces.text, text) << "prefix " << prefix;
      EXPECT_GT(pieces.pieces.size(), 1u);
      for (const auto& piece : pieces.pieces) {
        EXPECT_LE(piece.size(), 32u);
        CFStringRef whole = make_cfstring(piece);
        EXPECT_NE(whole, nullptr) << "split character after prefix " << prefix;
        if (whole != nullptr) CFRelease(whole);
      }
    }
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
      // A character that does not fit is left for the next call.
      {u"\xD83C\xDFB5", {0, 2}, 0, 3, 0, 0, "", ""},
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
