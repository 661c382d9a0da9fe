#pragma once

#include <optional>
#include <string>
#include <vector>

#include "wav_writer.h"

namespace parent {

struct WavRecording {
  std::vector<std::string> helper_command;  // the helper and its arguments
  std::string path;
  WavFormat format = WavFormat::float32;
  std::optional<double> seconds;  // of audio; none: until SIGINT, SIGTERM or SIGHUP
};

// Runs the helper and writes what it captures to the file, finishing the
// header however the run ends. Reports on standard error (with a status line
// updated in place when that is a terminal); returns the exit status.
int record_wav(const WavRecording& recording);

}  // namespace parent
