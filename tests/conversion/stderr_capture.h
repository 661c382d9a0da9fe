#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

// Sends file descriptor 2 to a temporary file for the life of the object, so a
// test can read the diagnostic lines written in between. A file, not a pipe:
// a long burst of lines cannot block the writer.
class StderrCapture {
 public:
  StderrCapture() : file_(std::tmpfile()), saved_(::dup(STDERR_FILENO)) {
    std::fflush(stderr);
    ::dup2(::fileno(file_), STDERR_FILENO);
  }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  ~StderrCapture() {
    restore();
    std::fclose(file_);
  }

  // Everything written so far; stops the capture.
  std::string text() {
    restore();
    std::string out;
    std::rewind(file_);
    char block[4096];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file_)) > 0) out.append(block, got);
    return out;
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
  }

  std::FILE* file_;
  int saved_;
};
