#pragma once

// How the IO latency bench carries a CLOCK_MONOTONIC time through the helper:
// one 10 ms block of 160 mono samples at 16 kHz, every sample a 16-bit
// piece of the stamp (sample j holds piece j % 4). Whole numbers up to 65535
// are exact floats, and at a 16 kHz tap rate the resampler passes every sample
// through unchanged, so the stamp arrives bit for bit.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace io_latency {

inline constexpr double kTapRate = 16000;
inline constexpr std::size_t kBlockFrames = 160;  // 10 ms at the tap rate

inline std::array<float, kBlockFrames> stamped_block(std::uint64_t stamp) {
  std::array<float, kBlockFrames> block{};
  for (std::size_t j = 0; j < kBlockFrames; ++j) {
    block[j] = float((stamp >> (16 * (j % 4))) & 0xFFFFu);
  }
  return block;
}

// The stamp of a block as decoded, or nullopt when any sample is not what
// stamped_block wrote.
inline std::optional<std::uint64_t> read_stamp(std::span<const float> block) {
  if (block.size() != kBlockFrames) return std::nullopt;
  std::uint64_t stamp = 0;
  for (std::size_t piece = 0; piece < 4; ++piece) {
    const float value = block[piece];
    if (!(value >= 0 && value <= 65535) || value != float(std::uint32_t(value)))
      return std::nullopt;
    stamp |= std::uint64_t(value) << (16 * piece);
  }
  for (std::size_t j = 4; j < kBlockFrames; ++j) {
    if (block[j] != block[j % 4]) return std::nullopt;
  }
  return stamp;
}

}  // namespace io_latency
