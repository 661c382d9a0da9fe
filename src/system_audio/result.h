#pragma once

#include <expected>
#include <string>

namespace system_audio {

// Every fallible operation gives its value or one error text; the text travels
// unchanged to the "ERROR" line, so there are no error codes of our own.
template <class T>
using Result = std::expected<T, std::string>;

using Error = std::unexpected<std::string>;

inline Error fail(std::string text) {
  return Error(std::move(text));
}

}  // namespace system_audio
