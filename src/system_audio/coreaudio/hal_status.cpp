#include "system_audio/coreaudio/hal_status.h"

#include <string>

namespace system_audio {

namespace {

std::string code_text(OSStatus status) {
  const auto bits = static_cast<UInt32>(status);
  std::string code;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const auto byte = static_cast<unsigned char>(bits >> shift);
    if (byte < 0x20 || byte > 0x7E) return std::to_string(status);
    code.push_back(static_cast<char>(byte));
  }
  return code;
}

}  // namespace

Result<void> status_ok(OSStatus status, std::string_view what) {
  if (status == 0) return {};
  std::string text(what);
  text += " failed: OSStatus ";
  text += std::to_string(status);
  text += " (";
  text += code_text(status);
  text += ")";
  return fail(std::move(text));
}

}  // namespace system_audio
