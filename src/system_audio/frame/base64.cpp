#include "system_audio/frame/base64.h"

#include <array>
#include <bit>
#include <cstring>

namespace system_audio {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Every 12-bit group as its two output characters, so a 3-byte group costs two
// table reads instead of four.
constexpr std::array<char, 2 * 4096> kPairs = [] {
  std::array<char, 2 * 4096> pairs{};
  for (std::size_t group = 0; group < 4096; ++group) {
    pairs[2 * group] = kAlphabet[group >> 6];
    pairs[2 * group + 1] = kAlphabet[group & 63];
  }
  return pairs;
}();

inline void put_pair(char* out, std::uint64_t group) {
  std::memcpy(out, &kPairs[2 * group], 2);
}

std::size_t encode(char* out, const std::uint8_t* in, std::size_t size) {
  char* const start = out;
  const std::uint8_t* const end = in + size;
  // Six bytes at a time through one eight-byte load, while eight are readable.
  while (end - in >= 8) {
    std::uint64_t bits;
    std::memcpy(&bits, in, 8);
    if constexpr (std::endian::native == std::endian::little) bits = std::byteswap(bits);
    put_pair(out, bits >> 52);
    put_pair(out + 2, (bits >> 40) & 0xfff);
    put_pair(out + 4, (bits >> 28) & 0xfff);
    put_pair(out + 6, (bits >> 16) & 0xfff);
    in += 6;
    out += 8;
  }
  for (; end - in >= 3; in += 3, out += 4) {
    const std::uint32_t group = (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | in[2];
    put_pair(out, group >> 12);
    put_pair(out + 2, group & 0xfff);
  }
  switch (size % 3) {
    case 1:
      out[0] = kAlphabet[in[0] >> 2];
      out[1] = kAlphabet[(in[0] & 0x03) << 4];
      out[2] = '=';
      out[3] = '=';
      out += 4;
      break;
    case 2:
      out[0] = kAlphabet[in[0] >> 2];
      out[1] = kAlphabet[((in[0] & 0x03) << 4) | (in[1] >> 4)];
      out[2] = kAlphabet[(in[1] & 0x0f) << 2];
      out[3] = '=';
      out += 4;
      break;
    default:
      break;
  }
  return static_cast<std::size_t>(out - start);
}

}  // namespace

void append_base64(std::string& out, std::span<const std::uint8_t> bytes) {
  const std::size_t start = out.size();
  // The text is written straight into the string's storage: no zero fill first.
  out.resize_and_overwrite(start + base64_length(bytes.size()), [&](char* data, std::size_t) {
    return start + encode(data + start, bytes.data(), bytes.size());
  });
}

}  // namespace system_audio
