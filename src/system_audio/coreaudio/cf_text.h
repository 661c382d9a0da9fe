#pragma once

#include <string>
#include <string_view>

#include "system_audio/apple/apple_ref.h"
#include "system_audio/apple/core_audio.h"
#include "system_audio/result.h"

namespace system_audio {

// A dictionary key from a NUL-terminated literal, owned by the caller. Keys must
// be UTF-8 ("CoreAudio dictionary key was not UTF-8").
Result<CfRef<CFStringRef>> cf_key(const char* key);

// The UTF-8 text of a borrowed string, read 32 bytes at a time; a UTF-16 unit
// with no UTF-8 form (an unpaired surrogate) becomes U+FFFD.
std::string cfstring_to_text(CFStringRef string);

// Strict UTF-8: no overlong forms, no surrogate code points, nothing past U+10FFFF.
bool is_utf8(std::string_view bytes);

}  // namespace system_audio
