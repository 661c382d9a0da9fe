#pragma once

#include <cstring>
#include <string>

namespace system_audio {

// The text as one line: its line breaks become spaces, and one line feed ends
// it. PCM lines (Base64) never hold a break, so breaks are looked for with
// memchr, which scans a whole vector a step, instead of one byte at a time over
// every line of audio.
inline std::string whole_line(std::string text) {
  for (const char found : {'\n', '\r'}) {
    char* next = text.data();
    char* const end = text.data() + text.size();
    while (auto* hit = static_cast<char*>(std::memchr(next, found, std::size_t(end - next)))) {
      *hit = ' ';
      next = hit + 1;
    }
  }
  text.push_back('\n');
  return text;
}

}  // namespace system_audio
