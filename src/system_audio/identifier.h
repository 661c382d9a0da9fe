#pragma once

#include <string_view>

namespace system_audio {

// Our reverse-DNS product identifier: it prefixes the aggregate device UID and the
// dispatch queue labels, so every name we register with the system is ours alone.
inline constexpr std::string_view IDENTIFIER_PREFIX = "com.vantle.audio-helper";

}  // namespace system_audio
