#include "system_audio/coreaudio/cf_text.h"

#include <algorithm>
#include <cstring>

namespace system_audio {

using namespace apple;

bool is_utf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length;
    char32_t code;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (bytes.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000)) return false;
    if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
    i += length;
  }
  return true;
}

Result<CfRef<CFStringRef>> cf_key(const char* key) {
  const std::string_view bytes(key, std::strlen(key));
  if (!is_utf8(bytes)) return fail("CoreAudio dictionary key was not UTF-8");
  CfRef<CFStringRef> string(
      CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bytes.data()),
                              CFIndex(bytes.size()), kCFStringEncodingUTF8, false));
  if (!string) return fail("CoreAudio could not create the dictionary key " + std::string(bytes));
  return string;
}

std::string cfstring_to_text(CFStringRef string) {
  constexpr CFIndex piece = 32;
  constexpr std::string_view replacement = "\xEF\xBF\xBD";  // U+FFFD
  std::string text;
  if (string == nullptr) return text;
  const CFIndex length = CFStringGetLength(string);
  CFIndex position = 0;
  for (;;) {
    UInt8 buffer[piece];
    CFIndex used = 0;
    const CFIndex converted =
        CFStringGetBytes(string, CFRange{position, length - position}, kCFStringEncodingUTF8, 0,
                         false, buffer, piece, &used);
    if (converted > 0) {
      if (used > 0)
        text.append(reinterpret_cast<const char*>(buffer), std::size_t(std::min(used, piece)));
      position += converted;
    } else if (position < length) {
      text += replacement;
      position += 1;
    } else {
      return text;
    }
  }
}

}  // namespace system_audio
