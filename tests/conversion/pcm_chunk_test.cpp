#include <bit>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "system_audio/conversion/pcm_chunk.h"

namespace system_audio {
namespace {

TEST(PcmChunkEncoding, SamplesAreLittleEndianBinary32WithEveryBitKept) {
  const std::uint32_t patterns[] = {
      0x3f800000u,  // 1.0: bytes 00 00 80 3f, least significant first
      0xbf000000u,  // -0.5
      0x7fc12345u,  // quiet NaN with a payload
      0xffa00001u,  // negative signalling NaN
      0x7f800000u,  // +inf
      0xff800000u,  // -inf
      0x80000000u,  // -0.0
      0x00000001u,  // smallest subnormal
  };
  std::vector<float> samples;
  for (std::uint32_t bits : patterns) samples.push_back(std::bit_cast<float>(bits));
  const PcmChunk chunk = encode_pcm_chunk(samples);
  ASSERT_EQ(chunk.size(), 4 * samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const std::uint32_t decoded = chunk[4 * i] | (chunk[4 * i + 1] << 8) |
                                  (chunk[4 * i + 2] << 16) |
                                  (std::uint32_t{chunk[4 * i + 3]} << 24);
    EXPECT_EQ(decoded, patterns[i]) << i;
  }
}

TEST(PcmChunkEncoding, ChunkIsExactlyFourBytesASample) {
  const PcmChunk chunk = encode_pcm_chunk(std::vector<float>(171, 0.25f));
  EXPECT_EQ(chunk.size(), 684u);
  EXPECT_EQ(chunk.capacity(), 684u);
  EXPECT_TRUE(encode_pcm_chunk({}).empty());
}

}  // namespace
}  // namespace system_audio
