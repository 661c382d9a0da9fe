#pragma once

#include <string_view>

namespace system_audio {

// The name the tap and the aggregate device show to the rest of the system.
inline constexpr std::string_view DEVICE_NAME = "Vantle Computer Audio";

}  // namespace system_audio
