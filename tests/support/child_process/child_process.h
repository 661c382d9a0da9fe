#pragma once

#include <sys/types.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

// A program started the way a parent application starts the helper: standard
// output and standard error as pipes, standard input empty. Standard error is
// collected in the background so the child never blocks on it.
class ChildProcess {
 public:
  // extra_environment entries are "NAME=value", added to (or replacing in) ours.
  explicit ChildProcess(std::vector<std::string> arguments,
                        std::vector<std::string> extra_environment = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The next whole line of standard output without its line feed; nullopt on
  // end of file or when the time runs out.
  std::optional<std::string> read_line(std::chrono::milliseconds limit);
  // Everything left on standard output until end of file (or the time runs out).
  std::string read_rest(std::chrono::milliseconds limit);
  // Standard error collected so far.
  std::string error_text();
  // Closes our end of the child's standard output, as a parent that stops reading.
  void close_output();

  // Exit status once the child has exited normally; nullopt when it has not
  // ended within the limit or ended by a signal.
  std::optional<int> wait_exit(std::chrono::milliseconds limit);
  bool exited_by_signal() const { return signaled_; }
  void kill();
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string out_buffer_;
  bool reaped_ = false;
  bool signaled_ = false;
  int status_ = 0;
  std::thread err_reader_;
  std::mutex err_mutex_;
  std::string err_text_;
};

struct Finished {
  std::string out;
  std::string err;
  std::optional<int> exit_status;  // nullopt: killed or timed out
};

// Runs a program to its end, bounded by limit (killed after it).
Finished run_to_end(std::vector<std::string> arguments, std::chrono::milliseconds limit,
                    std::vector<std::string> extra_environment = {});

// Splits text into lines at line feeds; a trailing piece without one is kept.
std::vector<std::string> split_lines(const std::string& text);

}  // namespace test_support
