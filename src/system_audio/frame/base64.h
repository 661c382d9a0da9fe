#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace system_audio {

// RFC 4648 section 4: standard alphabet, padded, no line breaks.
constexpr std::size_t base64_length(std::size_t bytes) {
  return (bytes + 2) / 3 * 4;
}

// Appends the encoding of bytes to out.
void append_base64(std::string& out, std::span<const std::uint8_t> bytes);

}  // namespace system_audio
