#pragma once

// The text of the platform's strings, for both Apple backends.

#include <string>

#include "system_audio/apple/foundation.h"

namespace system_audio {

// The UTF-8 text of a borrowed string, read 32 bytes at a time; a UTF-16 unit
// with no UTF-8 form (an unpaired surrogate) becomes U+FFFD.
std::string cfstring_to_text(CFStringRef string);

// The error's localizedDescription as UTF-8, as it comes; "" for nil.
std::string error_description(apple::NSError* error);

}  // namespace system_audio
