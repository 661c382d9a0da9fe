#include "system_audio/frame/line_writer.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "system_audio/frame/exit_status.h"
#include "system_audio/frame/line_text.h"

namespace system_audio {

void write_protocol_line(std::string text) {
  // Never destroyed: the status writer may still write while the process exits.
  static std::mutex& stdout_lock = *new std::mutex();
  const std::string line = whole_line(std::move(text));
  std::lock_guard guard(stdout_lock);
  const char* next = line.data();
  std::size_t left = line.size();
  while (left > 0) {
    const ssize_t written = ::write(STDOUT_FILENO, next, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      // A parent that made its pipe non-blocking is still there: wait for room,
      // as a blocking write would.
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        pollfd room{STDOUT_FILENO, POLLOUT, 0};
        (void)::poll(&room, 1, -1);
        continue;
      }
      ::_exit(EXIT_PARENT_GONE);
    }
    next += written;
    left -= static_cast<std::size_t>(written);
  }
  // Lines go straight to the descriptor, so there is nothing left to flush.
}

}  // namespace system_audio
