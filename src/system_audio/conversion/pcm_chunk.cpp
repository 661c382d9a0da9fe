#include "system_audio/conversion/pcm_chunk.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace system_audio {

PcmChunk encode_pcm_chunk(std::span<const float> samples) {
  if constexpr (std::endian::native == std::endian::little) {
    // The samples' memory already is the chunk: one allocation, one copy, and
    // every bit (NaN payloads included) survives.
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(samples.data());
    return PcmChunk(bytes, bytes + samples.size_bytes());
  } else {
    PcmChunk chunk(samples.size_bytes());
    for (std::size_t i = 0; i < samples.size(); ++i) {
      const auto bits = std::byteswap(std::bit_cast<std::uint32_t>(samples[i]));
      std::memcpy(chunk.data() + i * sizeof bits, &bits, sizeof bits);
    }
    return chunk;
  }
}

}  // namespace system_audio
