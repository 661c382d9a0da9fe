#include "base64_decode.h"

#include <cstring>

namespace test_support {
namespace {

int value_of(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> decode_base64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (std::size_t at = 0; at < text.size(); at += 4) {
    const bool last = at + 4 == text.size();
    int padding = 0;
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      const char c = text[at + i];
      if (c == '=') {
        if (!last || i < 2) return std::nullopt;
        ++padding;
        group <<= 6;
        continue;
      }
      if (padding > 0) return std::nullopt;
      const int value = value_of(c);
      if (value < 0) return std::nullopt;
      group = (group << 6) | static_cast<std::uint32_t>(value);
    }
    bytes.push_back(static_cast<std::uint8_t>(group >> 16));
    if (padding < 2) bytes.push_back(static_cast<std::uint8_t>(group >> 8));
    if (padding < 1) bytes.push_back(static_cast<std::uint8_t>(group));
  }
  return bytes;
}

std::optional<std::vector<float>> decode_pcm_payload(std::string_view base64) {
  auto bytes = decode_base64(base64);
  if (!bytes || bytes->size() % 4 != 0) return std::nullopt;
  std::vector<float> samples(bytes->size() / 4);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const std::uint32_t bits = std::uint32_t((*bytes)[4 * i]) |
                               (std::uint32_t((*bytes)[4 * i + 1]) << 8) |
                               (std::uint32_t((*bytes)[4 * i + 2]) << 16) |
                               (std::uint32_t((*bytes)[4 * i + 3]) << 24);
    std::memcpy(&samples[i], &bits, 4);
  }
  return samples;
}

}  // namespace test_support
