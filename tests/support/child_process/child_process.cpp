#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

extern char** environ;

namespace test_support {
namespace {

using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

std::vector<std::string> merged_environment(const std::vector<std::string>& extra) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    const std::string name = text.substr(0, text.find('='));
    bool replaced = false;
    for (const auto& added : extra) replaced |= added.substr(0, added.find('=')) == name;
    if (!replaced) result.push_back(text);
  }
  result.insert(result.end(), extra.begin(), extra.end());
  return result;
}

std::vector<char*> c_strings(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> arguments,
                           std::vector<std::string> extra_environment) {
  int out_pipe[2];
  int err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  auto environment = merged_environment(extra_environment);
  auto argv = c_strings(arguments);
  auto envp = c_strings(environment);
  const int spawned = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  out_fd_ = out_pipe[0];
  err_fd_ = err_pipe[0];
  if (spawned != 0) {
    ::close(out_fd_);
    ::close(err_fd_);
    throw std::runtime_error(std::string("spawn failed: ") + std::strerror(spawned));
  }
  err_reader_ = std::thread([this] {
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(err_fd_, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return;
      std::lock_guard lock(err_mutex_);
      err_text_.append(buffer, static_cast<std::size_t>(got));
    }
  });
}

ChildProcess::~ChildProcess() {
  if (!reaped_) {
    kill();
    wait_exit(std::chrono::seconds(5));
  }
  close_output();
  if (err_reader_.joinable()) err_reader_.join();
  if (err_fd_ >= 0) ::close(err_fd_);
}

std::optional<std::string> ChildProcess::read_line(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    if (const auto end = out_buffer_.find('\n'); end != std::string::npos) {
      std::string line = out_buffer_.substr(0, end);
      out_buffer_.erase(0, end + 1);
      return line;
    }
    if (out_fd_ < 0) return std::nullopt;
    pollfd waiting{out_fd_, POLLIN, 0};
    const int ready = ::poll(&waiting, 1, remaining_ms(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return std::nullopt;
    char buffer[65536];
    const ssize_t got = ::read(out_fd_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    out_buffer_.append(buffer, static_cast<std::size_t>(got));
  }
}

std::string ChildProcess::read_rest(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (out_fd_ >= 0) {
    pollfd waiting{out_fd_, POLLIN, 0};
    const int ready = ::poll(&waiting, 1, remaining_ms(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[65536];
    const ssize_t got = ::read(out_fd_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    out_buffer_.append(buffer, static_cast<std::size_t>(got));
  }
  return std::exchange(out_buffer_, {});
}

std::string ChildProcess::error_text() {
  std::lock_guard lock(err_mutex_);
  return err_text_;
}

void ChildProcess::close_output() {
  if (out_fd_ >= 0) ::close(out_fd_);
  out_fd_ = -1;
}

std::optional<int> ChildProcess::wait_exit(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!reaped_) {
    const pid_t done = ::waitpid(pid_, &status_, WNOHANG);
    if (done == pid_) {
      reaped_ = true;
      break;
    }
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (reaped_ && err_reader_.joinable()) err_reader_.join();
  signaled_ = WIFSIGNALED(status_);
  if (!WIFEXITED(status_)) return std::nullopt;
  return WEXITSTATUS(status_);
}

void ChildProcess::kill() {
  if (!reaped_ && pid_ > 0) ::kill(pid_, SIGKILL);
}

Finished run_to_end(std::vector<std::string> arguments, std::chrono::milliseconds limit,
                    std::vector<std::string> extra_environment) {
  ChildProcess child(std::move(arguments), std::move(extra_environment));
  Finished finished;
  finished.out = child.read_rest(limit);
  finished.exit_status = child.wait_exit(std::chrono::milliseconds(2000));
  if (!finished.exit_status) {
    child.kill();
    child.wait_exit(std::chrono::milliseconds(2000));
  }
  finished.err = child.error_text();
  return finished;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace test_support
