#pragma once

#include <span>
#include <string>

namespace system_audio {

inline constexpr const char* DEFAULT_BACKEND = "coreaudio";

// The command line, read once; the chosen backend's start gets it whole.
struct Options {
  std::string backend = DEFAULT_BACKEND;
};

// The backend is the rest of the first argument that begins with "--backend=",
// program name included in the scan; every other argument is ignored. Bytes only.
Options parse_options(std::span<const char* const> arguments);

}  // namespace system_audio
