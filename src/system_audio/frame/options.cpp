#include "system_audio/frame/options.h"

#include <string_view>

namespace system_audio {

Options parse_options(std::span<const char* const> arguments) {
  constexpr std::string_view backend_option = "--backend=";
  Options options;
  for (const char* argument : arguments) {
    if (argument == nullptr) continue;
    const std::string_view text(argument);
    if (text.starts_with(backend_option)) {
      options.backend = text.substr(backend_option.size());
      break;
    }
  }
  return options;
}

}  // namespace system_audio
