#include "system_audio/sck/error_text.h"

#include "system_audio/coreaudio/cf_text.h"

namespace system_audio {

std::string error_description(apple::NSError* error) {
  if (error == nullptr) return {};
  // NSString and CFString are one type on the platform (toll-free bridged).
  const auto* text = reinterpret_cast<CFStringRef>(apple::NSError_localizedDescription(error));
  return text == nullptr ? std::string() : cfstring_to_text(text);
}

}  // namespace system_audio
