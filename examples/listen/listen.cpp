// A parent of vantle_audio_helper, reading its protocol exactly as an
// application would: it starts the helper with pipes, listens for a while,
// terminates it and reports what came out.
//
//   vantle_listen HELPER SECONDS [HELPER_ARGUMENT...]
//   vantle_listen --wav FILE [SECONDS] [--pcm16] [--helper PATH] [--backend=NAME]
//   vantle_listen --tone FREQUENCY DBFS SECONDS > tone.raw
//
// The second form records what the helper captures as a WAV file (16000 Hz
// mono, float or 16-bit), for SECONDS or until Ctrl-C. The third writes a sine tone (raw float32le,
// 48000 Hz, stereo, peak at DBFS) to standard output, for playing a known sound with pacat.

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "helper_child.h"
#include "protocol_reader.h"
#include "signal_analysis.h"
#include "tone.h"
#include "wav_recording.h"

namespace {

constexpr double kRate = 16000;  // the helper's output rate
constexpr int kScanLow = 50;
constexpr int kScanHigh = 4000;
constexpr unsigned kToneRate = 48000;

int usage() {
  std::fprintf(stderr,
               "usage: vantle_listen HELPER SECONDS [HELPER_ARGUMENT...]\n"
               "       vantle_listen --wav FILE [SECONDS] [--pcm16] [--helper PATH] "
               "[--backend=NAME]\n"
               "       vantle_listen --tone FREQUENCY DBFS SECONDS > tone.raw\n");
  return 2;
}

bool parse_number(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(value);
}

int write_tone(double frequency, double dbfs, double seconds) {
  const auto frames = static_cast<std::size_t>(seconds * kToneRate);
  const auto tone = parent::stereo_sine(frequency, std::pow(10.0, dbfs / 20.0), frames);
  const bool written = std::fwrite(tone.data(), sizeof(float), tone.size(), stdout) == tone.size();
  return written && std::fflush(stdout) == 0 ? 0 : 1;
}

std::string decibels(double value) {
  if (std::isinf(value)) return "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

// The last few diagnostic lines: where a failed start stopped.
std::string last_lines(const std::string& text, int count) {
  std::size_t at = text.size();
  if (at > 0 && text[at - 1] == '\n') --at;
  while (at > 0 && count > 0) {
    at = text.rfind('\n', at - 1);
    if (at == std::string::npos) return text;
    --count;
  }
  return text.substr(at + 1);
}

int listen(const std::vector<std::string>& command, double seconds) {
  auto spawned = parent::Child::spawn(command);
  if (!spawned) {
    std::fprintf(stderr, "vantle_listen: %s\n", spawned.error().c_str());
    return 1;
  }
  parent::Child& helper = **spawned;
  parent::ProtocolReader reader;
  const auto start = std::chrono::steady_clock::now();
  const auto until = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(seconds));
  bool ended_early = false;
  while (std::chrono::steady_clock::now() < until) {
    const auto bytes = helper.read_output(until);
    if (!bytes) {
      ended_early = true;  // the helper closed its output: it has ended
      break;
    }
    reader.feed(*bytes);
  }
  const double listened =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::optional<parent::ChildEnd> finished;
  if (ended_early) finished = helper.wait(std::chrono::seconds(5));
  const parent::ChildEnd end = finished ? *finished : helper.terminate();

  const auto& samples = reader.samples();
  std::printf("helper        %s (pid %d), listened %.1f s\n", command.front().c_str(),
              int(helper.pid()), listened);
  std::printf("READY         %s\n", reader.ready() ? "yes" : "no");
  std::printf("PCM lines     %zu\n", reader.pcm_lines());
  std::string statuses;
  for (const auto& status : reader.statuses()) statuses += (statuses.empty() ? "" : ", ") + status;
  std::printf("STATUS lines  %zu%s%s\n", reader.statuses().size(), statuses.empty() ? "" : ": ",
              statuses.c_str());
  if (reader.ready_out_of_place()) std::printf("READY was not the first and only READY line\n");
  if (reader.bad_lines() > 0) std::printf("bad lines     %zu\n", reader.bad_lines());
  std::printf("decoded       %zu samples = %.3f s at 16000 Hz\n", samples.size(),
              double(samples.size()) / kRate);
  if (!samples.empty()) {
    const auto level = parent::level_of(samples);
    std::printf("level         RMS %s dBFS, peak %s dBFS\n", decibels(level.rms_dbfs).c_str(),
                decibels(level.peak_dbfs).c_str());
    const auto frequency = parent::dominant_frequency(samples, kRate, kScanLow, kScanHigh);
    if (frequency) {
      std::printf("dominant      %.1f Hz\n", *frequency);
    } else {
      std::printf("dominant      none (silence or too short)\n");
    }
  }
  if (reader.error()) std::printf("ERROR line    %s\n", reader.error()->c_str());
  const bool asked_to_end = !ended_early && end.signal() == SIGTERM;
  std::printf("ended         %s%s\n", end.describe().c_str(), asked_to_end ? " (as asked)" : "");
  const bool good = reader.ready() && !reader.ready_out_of_place() && reader.pcm_lines() > 0 &&
                    reader.bad_lines() == 0;
  if (!good && !helper.error_text().empty()) {
    std::printf("its last diagnostics:\n%s", last_lines(helper.error_text(), 6).c_str());
  }
  return good ? 0 : 1;
}

// The helper installed beside this program, else the one on PATH.
std::string default_helper() {
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length > 0) {
    std::string beside(self, std::size_t(length));
    beside = beside.substr(0, beside.rfind('/') + 1) + "vantle_audio_helper";
    if (::access(beside.c_str(), X_OK) == 0) return beside;
  }
  return "vantle_audio_helper";
}

int record(const std::vector<std::string>& arguments) {
  parent::WavRecording recording;
  std::string helper = default_helper();
  std::vector<std::string> helper_arguments;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    double seconds;
    if (argument == "--wav" && i + 1 < arguments.size() && recording.path.empty()) {
      recording.path = arguments[++i];
    } else if (argument == "--pcm16") {
      recording.format = parent::WavFormat::pcm16;
    } else if (argument == "--helper" && i + 1 < arguments.size()) {
      helper = arguments[++i];
    } else if (argument.starts_with("--backend=")) {
      helper_arguments.push_back(argument);
    } else if (!recording.seconds && parse_number(argument.c_str(), seconds) && seconds > 0) {
      recording.seconds = seconds;
    } else {
      return usage();
    }
  }
  if (recording.path.empty()) return usage();
  recording.helper_command = {helper};
  recording.helper_command.insert(recording.helper_command.end(), helper_arguments.begin(),
                                  helper_arguments.end());
  return parent::record_wav(recording);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.size() == 4 && arguments[0] == "--tone") {
    double frequency, dbfs, seconds;
    if (!parse_number(argv[2], frequency) || !parse_number(argv[3], dbfs) ||
        !parse_number(argv[4], seconds) || seconds < 0 || ::isatty(STDOUT_FILENO)) {
      return usage();
    }
    return write_tone(frequency, dbfs, seconds);
  }
  if (std::ranges::find(arguments, "--wav") != arguments.end()) return record(arguments);
  double seconds;
  if (arguments.size() < 2 || !parse_number(argv[2], seconds) || seconds <= 0) return usage();
  std::vector<std::string> command{arguments[0]};
  command.insert(command.end(), arguments.begin() + 2, arguments.end());
  return listen(command, seconds);
}
