#include <string>
#include <vector>

#include "runtime_fixture.h"

namespace system_audio::standin {
namespace {

using namespace platform;

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

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

bool is_utf8(const std::string& bytes) {
  CFStringRef string = make_cfstring(bytes);
  if (string == nullptr) return false;
  CFRelease(string);
  return true;
}

class CfStringConversion : public RuntimeTest {
 protected:
  void TearDown() override {
    EXPECT_TRUE(alive().empty());
    EXPECT_TRUE(faults().empty());
    RuntimeTest::TearDown();
  }

  std::string pieces_of(std::u16string_view units) {
    CFStringRef string = make_cfstring_utf16(units);
    const Pieces pieces = convert_in_pieces(string);
    EXPECT_EQ(pieces.text, text_of(string));
    CFRelease(string);
    return pieces.text;
  }
};

TEST_F(CfStringConversion, UnpairedSurrogatesBecomeOneReplacementEach) {
  const std::string r(kReplacement);
  EXPECT_EQ(pieces_of(u"ab\xD800"
                      u"cd"),
            "ab" + r + "cd");
  EXPECT_EQ(pieces_of(u"ab\xDC00"
                      u"cd"),
            "ab" + r + "cd");
  EXPECT_EQ(pieces_of(u"ab\xD83D"), "ab" + r);
  EXPECT_EQ(pieces_of(u"\xDE00\xD83D"), r + r);  // a pair in the wrong order is two strays
  EXPECT_EQ(pieces_of(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
}

TEST_F(CfStringConversion, AStrayUnitConvertsNothingWithoutALossByte) {
  CFStringRef string = make_cfstring_utf16(u"\xD800x");
  UInt8 buffer[8];
  CFIndex used = 99;
  EXPECT_EQ(CFStringGetBytes(string, {0, 2}, kCFStringEncodingUTF8, 0, false, buffer, 8, &used), 0);
  EXPECT_EQ(used, 0);
  EXPECT_EQ(CFStringGetBytes(string, {0, 2}, kCFStringEncodingUTF8, '?', false, buffer, 8, &used),
            2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), used), "?x");
  CFRelease(string);
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
      EXPECT_EQ(pieces.text, text) << "prefix " << prefix;
      EXPECT_GT(pieces.pieces.size(), 1u);
      for (const auto& piece : pieces.pieces) {
        EXPECT_LE(piece.size(), 32u);
        EXPECT_TRUE(is_utf8(piece)) << "split character after prefix " << prefix;
      }
      CFRelease(string);
    }
  }
}

TEST_F(CfStringConversion, LengthCountsUtf16Units) {
  CFStringRef string = cf("a\xF0\x9F\x8E\xB5\xE2\x82\xAC");
  EXPECT_EQ(CFStringGetLength(string), 4);
  CFRelease(string);
}

TEST_F(CfStringConversion, ACharacterThatDoesNotFitIsLeftForTheNextCall) {
  CFStringRef string = cf("\xF0\x9F\x8E\xB5");
  UInt8 buffer[3];
  CFIndex used = 99;
  EXPECT_EQ(CFStringGetBytes(string, {0, 2}, kCFStringEncodingUTF8, 0, false, buffer, 3, &used), 0);
  EXPECT_EQ(used, 0);
  // Without a buffer only the count is asked for.
  EXPECT_EQ(CFStringGetBytes(string, {0, 2}, kCFStringEncodingUTF8, 0, false, nullptr, 0, &used),
            2);
  EXPECT_EQ(used, 4);
  CFRelease(string);
}

TEST_F(CfStringConversion, InvalidUtf8MakesNoString) {
  const std::vector<std::string> invalid = {"\xC0\xAF",
                                            "\xE0\x80\xAF",
                                            "\xF0\x80\x80\xAF",  // overlong
                                            "\xED\xA0\x80",
                                            "\xED\xBF\xBF",  // surrogate code points
                                            "ok\xE2\x82",
                                            "\xF0\x9F\x8E",
                                            "\xC3",  // truncated
                                            "\x80",
                                            "a\xBF"
                                            "b",  // stray continuation
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

TEST_F(CfStringConversion, NoCopyWithTheNullDeallocatorLeavesTheBytesAlone) {
  // A stack buffer: freeing it would abort under AddressSanitizer.
  char bytes[] = "Vantle Computer Audio";
  CFStringRef string = CFStringCreateWithBytesNoCopy(
      kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bytes), sizeof bytes - 1,
      kCFStringEncodingUTF8, false, kCFAllocatorNull);
  ASSERT_NE(string, nullptr);
  EXPECT_EQ(text_of(string), "Vantle Computer Audio");
  CFRelease(string);
  EXPECT_STREQ(bytes, "Vantle Computer Audio");
}

TEST_F(CfStringConversion, NoCopyWithAFreeingDeallocatorIsRecorded) {
  static const char bytes[] = "constant";
  CFStringRef string =
      CFStringCreateWithBytesNoCopy(nullptr, reinterpret_cast<const UInt8*>(bytes), 8,
                                    kCFStringEncodingUTF8, false, kCFAllocatorDefault);
  CFRelease(string);
  EXPECT_EQ(faults(), std::vector<std::string>{
                          "CFStringCreateWithBytesNoCopy with deallocator kCFAllocatorDefault"});
  reset_ledger();
}

TEST_F(CfStringConversion, ARangeOutsideTheStringConvertsNothing) {
  CFStringRef string = cf("abc");
  CFIndex used = 99;
  UInt8 buffer[8];
  EXPECT_EQ(CFStringGetBytes(string, {2, 2}, kCFStringEncodingUTF8, 0, false, buffer, 8, &used), 0);
  EXPECT_EQ(used, 0);
  CFRelease(string);
  EXPECT_EQ(faults(), std::vector<std::string>{"CFStringGetBytes range out of bounds"});
  reset_ledger();
}

}  // namespace
}  // namespace system_audio::standin
