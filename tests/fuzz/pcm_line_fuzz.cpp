// Any samples, NaN payloads included, through the PCM chunk and Base64: a
// decoder written apart from the encoder gets every sample back bit for bit.
#include <span>
#include <string_view>

#include "fuzz_target.h"
#include "system_audio/conversion/pcm_chunk.h"
#include "system_audio/frame/base64.h"

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// RFC 4648 section 4, strictly: whole quads, "=" only as padding at the end,
// and the bits that the padding leaves over all zero.
static std::optional<std::vector<std::uint8_t>> decode(std::string_view text) {
  const std::size_t pad = text.ends_with("==") ? 2 : text.ends_with('=');
  if (text.size() % 4 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  std::uint32_t group = 0, held = 0;  // the bits not yet in a byte
  for (const char c : text.substr(0, text.size() - pad)) {
    const std::size_t value = kAlphabet.find(c);
    if (value == std::string_view::npos) return std::nullopt;
    group = (group << 6 | static_cast<std::uint32_t>(value)) & 0xfff;
    held += 6;
    if (held >= 8) bytes.push_back(group >> (held -= 8) & 0xff);
  }
  if (group & ((1u << held) - 1)) return std::nullopt;
  return bytes;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<float> samples(size / 4);
  for (std::size_t i = 0; i < samples.size(); ++i) std::memcpy(&samples[i], data + 4 * i, 4);
  const system_audio::PcmChunk chunk = system_audio::encode_pcm_chunk(samples);
  // The chunk is a heap block of exactly its size, so a read past its end is reported.
  std::string line = "PCM ";
  system_audio::append_base64(line, chunk);
  FUZZ_CHECK(line.starts_with("PCM ") && line.size() == 4 + (chunk.size() + 2) / 3 * 4);

  const auto bytes = decode(std::string_view(line).substr(4));
  // The samples' memory is the input itself, little-endian on the machines this runs on.
  FUZZ_CHECK(bytes && std::equal(bytes->begin(), bytes->end(), data, data + 4 * samples.size()));
  return 0;
}
