#include "helper_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <utility>

extern char** environ;

namespace parent {
namespace {

using Clock = std::chrono::steady_clock;

int milliseconds_until(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// One read of what is there; false on end of file.
bool read_into(int fd, std::string& out) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out.append(buffer, static_cast<std::size_t>(got));
    return true;
  }
}

std::vector<std::string> merged_environment(const std::vector<std::string>& added) {
  std::vector<std::string> merged;
  const auto name = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  for (char** entry = environ; *entry != nullptr; ++entry) {
    bool replaced = false;
    for (const auto& extra : added) replaced |= name(extra) == name(*entry);
    if (!replaced) merged.emplace_back(*entry);
  }
  merged.insert(merged.end(), added.begin(), added.end());
  return merged;
}

std::vector<char*> c_strings(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const auto& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

std::uint64_t monotonic_ns() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return std::uint64_t(now.tv_sec) * 1'000'000'000u + std::uint64_t(now.tv_nsec);
}

bool ChildEnd::exited() const {
  return WIFEXITED(wait_status);
}
int ChildEnd::exit_status() const {
  return WEXITSTATUS(wait_status);
}
int ChildEnd::signal() const {
  return WIFSIGNALED(wait_status) ? WTERMSIG(wait_status) : 0;
}

std::string ChildEnd::describe() const {
  if (WIFEXITED(wait_status)) return "exit status " + std::to_string(WEXITSTATUS(wait_status));
  if (WIFSIGNALED(wait_status)) {
    const int signal = WTERMSIG(wait_status);
    const char* name = ::sigabbrev_np(signal);
    return std::string("ended by ") + (name ? std::string("SIG") + name : std::to_string(signal));
  }
  return "ended";
}

double ChildEnd::cpu_seconds() const {
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long ChildEnd::peak_rss_kib() const {
  return usage.ru_maxrss;
}

std::expected<std::unique_ptr<Child>, std::string> Child::spawn(
    const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
    ChildStreams given) {
  // Our pipe for each stream not given: read end, write end.
  int out_pipe[2] = {-1, given.output};
  int err_pipe[2] = {-1, given.errors};
  const auto close_ours = [&] {
    for (int* end : {out_pipe, err_pipe}) {
      if (end[0] < 0) continue;
      ::close(end[0]);
      ::close(end[1]);
    }
  };
  for (int* end : {out_pipe, err_pipe}) {
    if (end[1] < 0 && ::pipe2(end, O_CLOEXEC) != 0) {
      close_ours();
      return std::unexpected(std::string("pipe failed"));
    }
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  auto argv = c_strings(arguments);
  const auto merged = merged_environment(environment);
  auto envp = c_strings(merged);

  std::unique_ptr<Child> child(new Child());
  const int failed =
      ::posix_spawnp(&child->pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (out_pipe[0] >= 0) ::close(out_pipe[1]);
  if (err_pipe[0] >= 0) ::close(err_pipe[1]);
  child->out_fd_ = out_pipe[0];
  child->err_fd_ = err_pipe[0];
  if (failed != 0) {
    child->pid_ = -1;
    return std::unexpected("cannot start " + arguments.front() + ": " + ::strerror(failed));
  }
  return child;
}

Child::~Child() {
  if (pid_ > 0 && !end_) terminate(std::chrono::milliseconds(500));
  close_output();
  if (err_fd_ >= 0) ::close(err_fd_);
}

void Child::drain_errors() {
  if (err_fd_ < 0) return;
  pollfd waiting{err_fd_, POLLIN, 0};
  while (::poll(&waiting, 1, 0) > 0) {
    if (!read_into(err_fd_, error_text_)) {
      ::close(err_fd_);
      err_fd_ = -1;
      return;
    }
  }
}

std::optional<std::string> Child::read_output(Clock::time_point deadline) {
  std::string got = std::exchange(lines_, {});
  if (!got.empty()) return got;
  for (;;) {
    if (out_fd_ < 0) return std::nullopt;
    pollfd waiting[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
    const int ready = ::poll(waiting, err_fd_ >= 0 ? 2 : 1, milliseconds_until(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return got;
    if (err_fd_ >= 0 && waiting[1].revents != 0) drain_errors();
    if (waiting[0].revents != 0) {
      if (!read_into(out_fd_, got)) {
        close_output();
        return std::nullopt;
      }
      return got;
    }
  }
}

std::optional<std::string> Child::read_line(Clock::time_point deadline) {
  for (;;) {
    if (const auto end = lines_.find('\n'); end != std::string::npos) {
      std::string line = lines_.substr(0, end);
      lines_.erase(0, end + 1);
      return line;
    }
    const std::string held = std::exchange(lines_, {});
    auto more = read_output(deadline);
    lines_ = held + more.value_or("");
    if (!more || more->empty()) return std::nullopt;
  }
}

std::string Child::read_rest(Clock::time_point deadline) {
  std::string rest;
  while (auto more = read_output(deadline)) {
    if (more->empty()) break;
    rest += *more;
  }
  return rest;
}

void Child::close_output() {
  if (out_fd_ >= 0) ::close(out_fd_);
  out_fd_ = -1;
}

void Child::close_errors() {
  if (err_fd_ >= 0) ::close(err_fd_);
  err_fd_ = -1;
}

const std::string& Child::error_text() {
  drain_errors();
  return error_text_;
}

std::optional<ChildEnd> Child::wait(std::chrono::milliseconds limit) {
  if (end_) return end_;
  const auto deadline = Clock::now() + limit;
  for (;;) {
    ChildEnd end;
    const pid_t done = ::wait4(pid_, &end.wait_status, WNOHANG, &end.usage);
    if (done == pid_) {
      drain_errors();
      end_ = end;
      return end_;
    }
    if (done < 0 && errno != EINTR) return std::nullopt;
    if (Clock::now() >= deadline) return std::nullopt;
    drain_errors();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

ChildEnd Child::terminate(std::chrono::milliseconds grace) {
  if (end_) return *end_;
  ::kill(pid_, SIGTERM);
  if (auto end = wait(grace)) return *end;
  ::kill(pid_, SIGKILL);
  ChildEnd end;
  while (::wait4(pid_, &end.wait_status, 0, &end.usage) < 0 && errno == EINTR) {
  }
  drain_errors();
  end_ = end;
  return end;
}

}  // namespace parent
