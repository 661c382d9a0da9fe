#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace test_support {

// Strict RFC 4648 decoding as a parent would do it: nullopt for any character
// outside the alphabet, a length that is not a multiple of 4, or bad padding.
std::optional<std::vector<std::uint8_t>> decode_base64(std::string_view text);

// The samples of a "PCM " line's payload (little-endian f32), nullopt when the
// payload does not decode or is not whole samples.
std::optional<std::vector<float>> decode_pcm_payload(std::string_view base64);

}  // namespace test_support
