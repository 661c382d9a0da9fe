#include "system_audio/apple/standin/utf16_text.h"

#include <cstring>

namespace system_audio::standin {
namespace {

bool is_high(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

void put_utf8(char32_t code, std::string& out) {
  if (code < 0x80) {
    out += char(code);
    return;
  }
  const int length = code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
  out += char(((0xFF00 >> length) & 0xFF) | (code >> (6 * (length - 1))));
  for (int k = length - 2; k >= 0; --k) out += char(0x80 | ((code >> (6 * k)) & 0x3F));
}

// The character at units[at]: its code point (nullopt for an unpaired
// surrogate) and how many units it spans.
std::pair<std::optional<char32_t>, std::size_t> character_at(std::u16string_view units,
                                                             std::size_t at) {
  const char16_t unit = units[at];
  if (is_high(unit) && at + 1 < units.size() && is_low(units[at + 1])) {
    return {0x10000 + ((unit - 0xD800u) << 10) + (units[at + 1] - 0xDC00u), 2};
  }
  if (is_high(unit) || is_low(unit)) return {std::nullopt, 1};
  return {unit, 1};
}

}  // namespace

std::optional<std::u16string> utf16_from_utf8(std::string_view bytes) {
  std::u16string out;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = lead < 0x80             ? 1
                               : (lead & 0xE0) == 0xC0 ? 2
                               : (lead & 0xF0) == 0xE0 ? 3
                               : (lead & 0xF8) == 0xF0 ? 4
                                                       : 0;
    if (length == 0 || bytes.size() - i < length) return std::nullopt;
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      code = (code << 6) | (next & 0x3F);
    }
    constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return std::nullopt;
    }
    if (code >= 0x10000) {
      out += char16_t(0xD800 + ((code - 0x10000) >> 10));
      out += char16_t(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out += char16_t(code);
    }
    i += length;
  }
  return out;
}

std::string utf8_from_utf16(std::u16string_view units) {
  std::string out;
  for (std::size_t i = 0; i < units.size();) {
    const auto [code, span] = character_at(units, i);
    put_utf8(code.value_or(0xFFFD), out);
    i += span;
  }
  return out;
}

PieceResult utf8_piece(std::u16string_view units, unsigned char loss_byte, unsigned char* out,
                       std::size_t capacity) {
  PieceResult result;
  while (result.units < units.size()) {
    const auto [code, span] = character_at(units, result.units);
    std::string bytes;
    if (code) {
      put_utf8(*code, bytes);
    } else if (loss_byte != 0) {
      bytes = char(loss_byte);
    } else {
      break;
    }
    if (out != nullptr && capacity - result.bytes < bytes.size()) break;
    if (out != nullptr) std::memcpy(out + result.bytes, bytes.data(), bytes.size());
    result.units += span;
    result.bytes += bytes.size();
  }
  return result;
}

}  // namespace system_audio::standin
