#pragma once

// How the IO latency bench carries a CLOCK_MONOTONIC time through the helper:
// one 10 ms IO cycle of 160 mono samples at 16 kHz, every sample a 16-bit
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
inline constexpr std::size_t kCycleFrames = 160;  // 10 ms at the tap rate

inline std::array<float, kCycleFrames> stamped_cycle(std::uint64_t stamp) {
  std::array<float, kCycleFrames> cycle{};
  for (std::size_t j = 0; j < kCycleFrames; ++j) {
    cycle[j] = float((stamp >> (16 * (j % 4))) & 0xFFFFu);
  }
  return cycle;
}

// The stamp of a cycle as decoded, or nullopt when any sample is not what
// stamped_cycle wrote.
inline std::optional<std::uint64_t> read_stamp(std::span<const float> cycle) {
  if (cycle.size() != kCycleFrames) return std::nullopt;
  std::uint64_t stamp = 0;
  for (std::size_t piece = 0; piece < 4; ++piece) {
    const float value = cycle[piece];
    if (!(value >= 0 && value <= 65535) || value != float(std::uint32_t(value)))
      return std::nullopt;
    stamp |= std::uint64_t(value) << (16 * piece);
  }
  for (std::size_t j = 4; j < kCycleFrames; ++j) {
    if (cycle[j] != cycle[j % 4]) return std::nullopt;
  }
  return stamp;
}

}  // namespace io_latency
