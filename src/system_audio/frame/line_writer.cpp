#include "system_audio/frame/line_writer.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "system_audio/frame/exit_status.h"

namespace system_audio {
namespace {

std::mutex stdout_lock;
std::mutex stderr_lock;

// Line breaks inside a text become spaces. PCM lines (Base64) never hold one,
// so they are looked for with memchr, which scans a whole vector a step,
// instead of one byte at a time over every line of audio.
void flatten(std::string& text) {
  for (const char found : {'\n', '\r'}) {
    char* next = text.data();
    char* const end = text.data() + text.size();
    while (auto* hit = static_cast<char*>(std::memchr(next, found, std::size_t(end - next)))) {
      *hit = ' ';
      next = hit + 1;
    }
  }
}

void write_line(int fd, std::mutex& lock, std::string text) {
  flatten(text);
  text.push_back('\n');
  std::lock_guard guard(lock);
  const char* next = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, next, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      ::_exit(EXIT_PARENT_GONE);
    }
    next += written;
    left -= static_cast<std::size_t>(written);
  }
  // Lines go straight to the descriptor, so there is nothing left to flush.
}

}  // namespace

void write_protocol_line(std::string text) {
  write_line(STDOUT_FILENO, stdout_lock, std::move(text));
}

void write_diagnostic(std::string text) {
  write_line(STDERR_FILENO, stderr_lock, std::move(text));
}

}  // namespace system_audio
