#include "system_audio/apple/cf_text.h"

#include <algorithm>

namespace system_audio {

using namespace apple;

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

std::string error_description(NSError* error) {
  if (error == nullptr) return {};
  // NSString and CFString are one type on the platform (toll-free bridged).
  const auto* text = reinterpret_cast<CFStringRef>(NSError_localizedDescription(error));
  return text == nullptr ? std::string() : cfstring_to_text(text);
}

}  // namespace system_audio
