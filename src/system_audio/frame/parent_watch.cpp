#include "system_audio/frame/parent_watch.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "system_audio/frame/detached_thread.h"
#include "system_audio/frame/exit_status.h"

#if __APPLE__
#include <sys/event.h>
#include <sys/stat.h>

#include <vector>
#else
#include <poll.h>
#endif

namespace system_audio {
namespace {

#if __APPLE__

// poll() does not report a pipe's closed reader on macOS; kqueue does. Not
// with the write filter: xnu caps its NOTE_LOWAT at the pipe's size, so it
// fires each time the parent drains the pipe, a hundred times a second while
// audio flows. The read filter on the write end of a pipe fires only when the
// pipe dies: in the published xnu-11417 (macOS 15) pipe filter, the write
// end's read event reports its own buffer, which a one-way pipe never fills,
// or EV_EOF once the reader has closed. A socket (Node.js hands its children
// socket pairs) is the same by kqueue(2): the read filter fires on data the
// parent never sends, or EV_EOF once the parent has closed its end. That the
// 14.x kernels do the same is unverified (no Mac has run this), so it is
// trusted no further than needed: only EV_EOF ends the helper, and a stream
// whose filter fires without it is watched no more, rather than waking on its
// traffic.
//
// A file, a terminal or /dev/null never tells of a gone parent (a failed
// write still ends the helper), so only pipes and sockets are watched.
std::vector<int> piped_streams() {
  std::vector<int> piped;
  for (const int stream : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat status;
    if (::fstat(stream, &status) == 0 && (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode))) {
      piped.push_back(stream);
    }
  }
  return piped;
}

// A new queue with the read filter on each stream; the streams it cannot watch
// are dropped. -1 when no queue can be made.
int watching_queue(std::vector<int>& streams) {
  const int queue = ::kqueue();
  if (queue < 0) {
    streams.clear();
    return -1;
  }
  std::erase_if(streams, [queue](int stream) {
    struct kevent change {};
    change.ident = uintptr_t(stream);
    change.filter = EVFILT_READ;
    change.flags = EV_ADD | EV_CLEAR;
    return ::kevent(queue, &change, 1, nullptr, 0, nullptr) != 0;
  });
  return queue;
}

void watch_parent() {
  std::vector<int> streams = piped_streams();
  if (streams.empty()) return;
  int queue = watching_queue(streams);
  while (!streams.empty()) {
    struct kevent event {};
    const int got = ::kevent(queue, nullptr, 0, &event, 1, nullptr);
    if (got < 0 && errno != EINTR) std::this_thread::sleep_for(std::chrono::seconds(1));
    if (got != 1) continue;
    if ((event.flags & EV_EOF) != 0) ::_exit(EXIT_PARENT_GONE);
    // A kernel that behaves otherwise: closing the queue drops every filter,
    // and the streams still trusted are watched anew.
    std::erase(streams, int(event.ident));
    ::close(queue);
    queue = watching_queue(streams);
  }
  if (queue >= 0) ::close(queue);
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
  return start_detached(watch_parent);
}

}  // namespace system_audio
