#include "system_audio/frame/parent_watch.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <system_error>
#include <thread>

#include "system_audio/frame/exit_status.h"

#if __APPLE__
#include <sys/event.h>
#else
#include <poll.h>
#endif

namespace system_audio {
namespace {

#if __APPLE__

// poll() does not report a pipe's closed reader on macOS; kqueue does, as
// EV_EOF on the write filter. The low-water mark no pipe can reach keeps the
// filter quiet while there is merely room to write.
[[noreturn]] void watch_parent() {
  const int queue = ::kqueue();
  struct kevent changes[2];
  EV_SET(&changes[0], STDOUT_FILENO, EVFILT_WRITE, EV_ADD | EV_CLEAR, NOTE_LOWAT, INT_MAX, nullptr);
  EV_SET(&changes[1], STDERR_FILENO, EVFILT_WRITE, EV_ADD | EV_CLEAR, NOTE_LOWAT, INT_MAX, nullptr);
  ::kevent(queue, changes, 2, nullptr, 0, nullptr);
  for (;;) {
    struct kevent event;
    const int got = ::kevent(queue, nullptr, 0, &event, 1, nullptr);
    if (got < 0 && errno != EINTR) std::this_thread::sleep_for(std::chrono::seconds(1));
    if (got == 1 && (event.flags & EV_EOF) != 0) ::_exit(EXIT_PARENT_GONE);
  }
}

#else

// No events asked for: poll() then waits for nothing but an error or a
// hang-up, which is what a pipe whose reader has closed reports to its writer.
[[noreturn]] void watch_parent() {
  pollfd streams[2] = {{STDOUT_FILENO, 0, 0}, {STDERR_FILENO, 0, 0}};
  for (;;) {
    const int got = ::poll(streams, 2, -1);
    if (got < 0) {
      if (errno != EINTR) std::this_thread::sleep_for(std::chrono::seconds(1));
      continue;
    }
    for (auto& stream : streams) {
      // A stream that was never open cannot tell us anything: stop watching it.
      if ((stream.revents & POLLNVAL) != 0) stream.fd = -1;
      if ((stream.revents & (POLLERR | POLLHUP)) != 0) ::_exit(EXIT_PARENT_GONE);
    }
  }
}

#endif

}  // namespace

Result<void> start_parent_watch() {
  try {
    std::thread(watch_parent).detach();
  } catch (const std::system_error& error) {
    return fail(error.what());
  }
  return {};
}

}  // namespace system_audio
