#pragma once

#include <bit>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

// Floats compared by their bits: -0.0 differs from +0.0 and NaN payloads count.
inline std::vector<std::uint32_t> bits_of(const std::vector<float>& samples) {
  std::vector<std::uint32_t> bits;
  for (float sample : samples) bits.push_back(std::bit_cast<std::uint32_t>(sample));
  return bits;
}

#define EXPECT_SAME_BITS(actual, expected) EXPECT_EQ(bits_of(actual), bits_of(expected))
