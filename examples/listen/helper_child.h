#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parent {

// Nanoseconds on CLOCK_MONOTONIC: one clock for every process on the machine,
// so a stamp taken in the child compares with one taken here.
std::uint64_t monotonic_ns();

// How a child ended, with what it cost (wait4).
struct ChildEnd {
  int wait_status = 0;
  rusage usage{};

  bool exited() const;
  int exit_status() const;  // meaningful when exited()
  int signal() const;       // the signal that ended it, or 0
  // "exit status 1", "ended by SIGTERM", ...
  std::string describe() const;
  double cpu_seconds() const;  // user + system
  long peak_rss_kib() const;
};

// A program started the way an application starts the helper: standard input
// empty, standard output and standard error as pipes. Standard error is kept
// (it tells where a failed start stopped).
class Child {
 public:
  static std::expected<std::unique_ptr<Child>, std::string> spawn(
      const std::vector<std::string>& arguments);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }

  // Waits (until the deadline) for standard output and returns what one read
  // gave: an empty text means the deadline passed, nullopt means end of file.
  // Standard error is collected on the way.
  std::optional<std::string> read_output(std::chrono::steady_clock::time_point deadline);
  // Closes our end of the child's standard output: a parent that stops reading.
  void close_output();
  const std::string& error_text() const { return error_text_; }

  // Asks the child to end (SIGTERM), then waits for it; SIGKILL after grace.
  ChildEnd terminate(std::chrono::milliseconds grace = std::chrono::seconds(2));
  // Waits for the child to end by itself, at most limit; nullopt if it has not.
  std::optional<ChildEnd> wait(std::chrono::milliseconds limit);

 private:
  Child() = default;
  void drain_errors();

  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string error_text_;
  std::optional<ChildEnd> end_;
};

}  // namespace parent
