#include "system_audio/platform/standin/utf16_text.h"

#include <cstdint>

namespace system_audio::standin {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_high_surrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low_surrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

std::size_t utf8_length(char32_t code_point) {
  if (code_point < 0x80) return 1;
  if (code_point < 0x800) return 2;
  if (code_point < 0x10000) return 3;
  return 4;
}

void put_utf8(char32_t code_point, unsigned char* out) {
  switch (utf8_length(code_point)) {
    case 1:
      out[0] = static_cast<unsigned char>(code_point);
      break;
    case 2:
      out[0] = static_cast<unsigned char>(0xC0 | (code_point >> 6));
      out[1] = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
      break;
    case 3:
      out[0] = static_cast<unsigned char>(0xE0 | (code_point >> 12));
      out[1] = static_cast<unsigned char>(0x80 | ((code_point >> 6) & 0x3F));
      out[2] = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
      break;
    default:
      out[0] = static_cast<unsigned char>(0xF0 | (code_point >> 18));
      out[1] = static_cast<unsigned char>(0x80 | ((code_point >> 12) & 0x3F));
      out[2] = static_cast<unsigned char>(0x80 | ((code_point >> 6) & 0x3F));
      out[3] = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
      break;
  }
}

// The character at units[index]: its code point (nullopt for an unpaired
// surrogate) and how many units it spans.
struct Character {
  std::optional<char32_t> code_point;
  std::size_t units;
};

Character character_at(std::u16string_view units, std::size_t index) {
  const char16_t unit = units[index];
  if (is_high_surrogate(unit) && index + 1 < units.size() && is_low_surrogate(units[index + 1])) {
    const char32_t high = unit - 0xD800u;
    const char32_t low = units[index + 1] - 0xDC00u;
    return {0x10000 + (high << 10) + low, 2};
  }
  if (is_high_surrogate(unit) || is_low_surrogate(unit)) return {std::nullopt, 1};
  return {unit, 1};
}

void append_utf16(char32_t code_point, std::u16string& out) {
  if (code_point < 0x10000) {
    out.push_back(static_cast<char16_t>(code_point));
    return;
  }
  const char32_t offset = code_point - 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
}

}  // namespace

std::optional<std::u16string> utf16_from_utf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length;
    char32_t code_point;
    char32_t smallest;
    if (lead < 0x80) {
      length = 1;
      code_point = lead;
      smallest = 0;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code_point = lead & 0x1F;
      smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code_point = lead & 0x0F;
      smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code_point = lead & 0x07;
      smallest = 0x10000;
    } else {
      return std::nullopt;  // a continuation byte or 0xF8..0xFF in lead position
    }
    if (bytes.size() - i < length) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      code_point = (code_point << 6) | (next & 0x3F);
    }
    if (code_point < smallest || code_point > 0x10FFFF) return std::nullopt;
    if (code_point >= 0xD800 && code_point <= 0xDFFF) return std::nullopt;
    append_utf16(code_point, out);
    i += length;
  }
  return out;
}

std::string utf8_from_utf16(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  std::size_t i = 0;
  while (i < units.size()) {
    const Character character = character_at(units, i);
    const char32_t code_point = character.code_point.value_or(kReplacement);
    unsigned char bytes[4];
    put_utf8(code_point, bytes);
    out.append(reinterpret_cast<const char*>(bytes), utf8_length(code_point));
    i += character.units;
  }
  return out;
}

PieceResult utf8_piece(std::u16string_view units, unsigned char loss_byte, unsigned char* out,
                       std::size_t capacity) {
  PieceResult result;
  while (result.units < units.size()) {
    const Character character = character_at(units, result.units);
    std::size_t length;
    if (character.code_point) {
      length = utf8_length(*character.code_point);
    } else if (loss_byte != 0) {
      length = 1;
    } else {
      break;
    }
    if (out != nullptr && capacity - result.bytes < length) break;
    if (out != nullptr) {
      if (character.code_point) {
        put_utf8(*character.code_point, out + result.bytes);
      } else {
        out[result.bytes] = loss_byte;
      }
    }
    result.units += character.units;
    result.bytes += length;
  }
  return result;
}

}  // namespace system_audio::standin
