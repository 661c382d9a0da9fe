#pragma once

// UTF-8 and UTF-16 conversions with the platform's rules: a CFString holds
// UTF-16 units, in which an unpaired surrogate can stand; UTF-8 input is taken
// only when it is well formed.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace system_audio::standin {

// The UTF-16 form of well-formed UTF-8; nullopt for overlong forms, encoded
// surrogates, values above U+10FFFF, stray continuation bytes and truncated
// sequences.
std::optional<std::u16string> utf16_from_utf8(std::string_view bytes);

// UTF-8 of the units, with U+FFFD in place of each unpaired surrogate.
std::string utf8_from_utf16(std::u16string_view units);

struct PieceResult {
  std::size_t units = 0;  // UTF-16 units converted
  std::size_t bytes = 0;  // UTF-8 bytes those take
};

// Converts whole characters of units from the start while their UTF-8 fits in
// capacity bytes; a surrogate pair is one character and is never split. An
// unpaired surrogate becomes loss_byte, or stops the conversion when loss_byte
// is 0. Writes to out unless it is null (then only counts).
PieceResult utf8_piece(std::u16string_view units, unsigned char loss_byte, unsigned char* out,
                       std::size_t capacity);

}  // namespace system_audio::standin
