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

// Descriptors that become a child's standard output or standard error as they
// are (a file, /dev/null, or a pipe read elsewhere), which its Child then
// neither reads nor closes; -1: a pipe that the Child reads.
struct ChildStreams {
  int output = -1;
  int errors = -1;
};

// A program started the way an application starts the helper: standard input
// empty, standard output and standard error as pipes. Standard error is kept
// (it tells where a failed start stopped); it is read whenever this parent
// reads or waits, so the child never blocks on it then.
class Child {
 public:
  // environment: "NAME=value" entries added to ours, replacing the same names.
  static std::expected<std::unique_ptr<Child>, std::string> spawn(
      const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {},
      ChildStreams given = {});
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }

  // Waits (until the deadline) for standard output and returns what one read
  // gave: an empty text means the deadline passed, nullopt means end of file.
  // Standard error is collected on the way.
  std::optional<std::string> read_output(std::chrono::steady_clock::time_point deadline);
  // The next whole line without its line feed; nullopt at end of file or when
  // the deadline passes first (a partial line stays for the next call).
  std::optional<std::string> read_line(std::chrono::steady_clock::time_point deadline);
  // Everything up to end of file, or up to the deadline.
  std::string read_rest(std::chrono::steady_clock::time_point deadline);
  // Close our end of the child's standard output or standard error: a parent
  // that has gone away.
  void close_output();
  void close_errors();
  // Standard error as far as the child has written it.
  const std::string& error_text();

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
  std::string lines_;  // output read but not yet returned by read_line
  std::string error_text_;
  std::optional<ChildEnd> end_;
};

}  // namespace parent
