#include "system_audio/frame/command_line.h"

#include <string_view>

namespace system_audio {

std::string backend_name_from_arguments(std::span<const char* const> arguments) {
  constexpr std::string_view option = "--backend=";
  for (const char* argument : arguments) {
    if (argument == nullptr) continue;
    const std::string_view text(argument);
    if (text.starts_with(option)) return std::string(text.substr(option.size()));
  }
  return DEFAULT_BACKEND;
}

}  // namespace system_audio
