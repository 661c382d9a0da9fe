#include "protocol_reader.h"

#include <cstring>

namespace parent {
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
    const bool last_group = at + 4 == text.size();
    int padding = 0;
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      const char c = text[at + i];
      if (c == '=') {
        if (!last_group || i < 2) return std::nullopt;
        ++padding;
        group <<= 6;
        continue;
      }
      const int value = value_of(c);
      if (padding > 0 || value < 0) return std::nullopt;
      group = (group << 6) | std::uint32_t(value);
    }
    bytes.push_back(std::uint8_t(group >> 16));
    if (padding < 2) bytes.push_back(std::uint8_t(group >> 8));
    if (padding < 1) bytes.push_back(std::uint8_t(group));
  }
  return bytes;
}

std::optional<std::vector<float>> decode_pcm_payload(std::string_view base64) {
  const auto bytes = decode_base64(base64);
  if (!bytes || bytes->empty() || bytes->size() % 4 != 0) return std::nullopt;
  // The payload is little-endian; assemble each value from its bytes so that
  // the reading does not depend on this machine's byte order.
  std::vector<float> samples(bytes->size() / 4);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const std::uint8_t* b = bytes->data() + 4 * i;
    const std::uint32_t bits = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 |
                               std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
    std::memcpy(&samples[i], &bits, sizeof bits);
  }
  return samples;
}

void ProtocolReader::feed(std::string_view bytes) {
  for (;;) {
    const auto end = bytes.find('\n');
    if (end == std::string_view::npos) {
      partial_.append(bytes);
      return;
    }
    if (partial_.empty()) {
      line(bytes.substr(0, end));
    } else {
      partial_.append(bytes.substr(0, end));
      line(partial_);
      partial_.clear();
    }
    bytes.remove_prefix(end + 1);
  }
}

void ProtocolReader::line(std::string_view text) {
  const bool first = lines_++ == 0;
  if (text == "READY") {
    ready_out_of_place_ |= !first || ready_;
    ready_ = true;
  } else if (text.starts_with("PCM ")) {
    ++pcm_lines_;
    if (const auto decoded = decode_pcm_payload(text.substr(4))) {
      samples_.insert(samples_.end(), decoded->begin(), decoded->end());
    } else {
      ++bad_lines_;
    }
    chunk_ends_.push_back(samples_.size());
  } else if (text.starts_with("STATUS ")) {
    statuses_.emplace_back(text.substr(7));
  } else if (text.starts_with("ERROR ")) {
    error_.emplace(text.substr(6));
  } else {
    ++bad_lines_;
  }
}

}  // namespace parent
