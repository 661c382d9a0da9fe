#include "system_audio/frame/line_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include "system_audio/frame/exit_status.h"

namespace system_audio {
namespace {

std::mutex stdout_lock;
std::mutex stderr_lock;

void write_line(int fd, std::mutex& lock, std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
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
