// Standard error, written so that it never holds up audio. A parent that pipes
// it and never reads it (the default of most process APIs) must not stop the
// helper once the pipe is full: a line the stream cannot take at once is
// dropped and counted, and the count is written as soon as it takes lines
// again. The caller writes its own line, so where standard error is read a
// diagnostic still reaches it before the protocol line that follows it.
//
// Writing without waiting must not change the open file description of
// descriptor 2: the parent (or our own standard output, in 2>&1) may share it,
// and O_NONBLOCK there would turn their blocking writes into failures.
// - A socket takes MSG_DONTWAIT per call.
// - On Linux a pipe or FIFO is reopened through /proc/self/fd/2, which gives a
//   description of our own, made non-blocking.
// - Otherwise (macOS pipes, which have no such path; terminals; files) the
//   stream is asked with poll() whether it has room, and written PIPE_BUF bytes
//   at a time: a pipe that reports room takes that much without waiting
//   (Linux: a free page; xnu: PIPE_BUF free bytes). Another writer on the same
//   pipe can still take the room between the two calls; that is left as it is.
// Lines of at most PIPE_BUF bytes go into a pipe whole or not at all. A longer
// line the stream takes only in part has its rest written first, before
// anything else, so no other diagnostic ever lands inside it.
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <thread>

#include "system_audio/frame/detached_thread.h"
#include "system_audio/frame/exit_status.h"
#include "system_audio/frame/line_text.h"
#include "system_audio/frame/line_writer.h"

namespace system_audio {
namespace {

enum class Kind { socket, own_description, polled };

struct ErrorStream {
  Kind kind = Kind::polled;
  int fd = STDERR_FILENO;
};

ErrorStream open_error_stream() {
  struct stat status {};
  if (::fstat(STDERR_FILENO, &status) != 0) return {};
  if (S_ISSOCK(status.st_mode)) return {Kind::socket, STDERR_FILENO};
#if !__APPLE__
  if (S_ISFIFO(status.st_mode)) {
    const int own = ::open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (own >= 0) return {Kind::own_description, own};
  }
#endif
  return {};
}

// Only a poll that finds no room says no: an error or a kind poll() cannot
// watch (terminals on macOS) is left to the write, which tells.
bool has_no_room(int fd) {
  pollfd room{fd, POLLOUT, 0};
  return ::poll(&room, 1, 0) == 0;
}

// Writes as much of the bytes as the stream takes without waiting.
std::size_t write_at_once(const ErrorStream& stream, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const char* next = bytes.data() + done;
    std::size_t left = bytes.size() - done;
    ssize_t written = 0;
    if (stream.kind == Kind::socket) {
      written = ::send(stream.fd, next, left, MSG_DONTWAIT);
    } else {
      if (stream.kind == Kind::polled) {
        if (has_no_room(stream.fd)) break;
        left = std::min<std::size_t>(left, PIPE_BUF);
      }
      written = ::write(stream.fd, next, left);
    }
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      ::_exit(EXIT_PARENT_GONE);
    }
    done += std::size_t(written);
  }
  return done;
}

struct Diagnostics {
  std::mutex lock;
  std::condition_variable behind;  // signalled when a line is dropped or owed
  ErrorStream stream = open_error_stream();
  std::string owed;  // the rest of a line the stream took only in part
  std::uint64_t dropped = 0;
};

// Never destroyed: platform threads may still write while the process exits.
Diagnostics& diagnostics() {
  static Diagnostics* const state = new Diagnostics();
  return *state;
}

bool is_behind(const Diagnostics& state) {
  return state.dropped > 0 || !state.owed.empty();
}

// Writes `line`, or what the stream takes of it, keeping the rest as owed.
// False when it took nothing.
bool write_or_owe(Diagnostics& state, std::string_view line) {
  const std::size_t taken = write_at_once(state.stream, line);
  if (taken < line.size() && taken > 0) state.owed.assign(line.substr(taken));
  return taken > 0;
}

// The owed rest, then the count of dropped lines. True once nothing is behind.
bool catch_up(Diagnostics& state) {
  if (!state.owed.empty()) {
    state.owed.erase(0, write_at_once(state.stream, state.owed));
    if (!state.owed.empty()) return false;
  }
  if (state.dropped > 0) {
    if (!write_or_owe(state, "helper: " + std::to_string(state.dropped) +
                                 " diagnostic lines dropped (standard error was full)\n")) {
      return false;
    }
    state.dropped = 0;
  }
  return state.owed.empty();
}

[[noreturn]] void catch_up_when_writable() {
  // After a catch-up that poll() promised room for but did not finish.
  constexpr auto kPause = std::chrono::milliseconds(50);
  auto& state = diagnostics();
  std::unique_lock guard(state.lock);
  for (;;) {
    state.behind.wait(guard, [&] { return is_behind(state); });
    guard.unlock();
    pollfd room{state.stream.fd, POLLOUT, 0};
    (void)::poll(&room, 1, -1);
    guard.lock();
    if (!catch_up(state)) {
      guard.unlock();
      std::this_thread::sleep_for(kPause);
      guard.lock();
    }
  }
}

}  // namespace

void write_diagnostic(std::string text) {
  const std::string line = whole_line(std::move(text));
  auto& state = diagnostics();
  std::lock_guard guard(state.lock);
  if (catch_up(state) && write_or_owe(state, line)) {
    if (state.owed.empty()) return;
  } else {
    state.dropped += 1;
  }
  state.behind.notify_one();
}

Result<void> start_diagnostic_catch_up() {
  return start_detached(catch_up_when_writable);
}

}  // namespace system_audio
