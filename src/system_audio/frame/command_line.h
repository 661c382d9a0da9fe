#pragma once

#include <span>
#include <string>

namespace system_audio {

inline constexpr const char* DEFAULT_BACKEND = "coreaudio";

// The rest of the first argument that begins with "--backend=", program name
// included in the scan; the default backend when none does. Bytes only.
std::string backend_name_from_arguments(std::span<const char* const> arguments);

}  // namespace system_audio
