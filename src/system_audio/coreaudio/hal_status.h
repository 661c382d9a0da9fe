#pragma once

#include <string_view>

#include "system_audio/apple/core_audio.h"
#include "system_audio/result.h"

namespace system_audio {

// Success for status 0; otherwise "{what} failed: OSStatus {n} ({code})", where the
// code is the four characters of the status when all are printable ASCII and
// the decimal number again when not.
Result<void> status_ok(OSStatus status, std::string_view what);

}  // namespace system_audio
