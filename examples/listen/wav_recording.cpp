#include "wav_recording.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <string_view>

#include "helper_child.h"
#include "protocol_reader.h"
#include "signal_analysis.h"

namespace parent {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr double kRate = 16000;
// How soon a stop signal is noticed, and the pace of the status line.
constexpr auto kPoll = 100ms;
constexpr auto kStatusEvery = 250ms;

volatile std::sig_atomic_t stop_signal = 0;

extern "C" void on_stop_signal(int signal) {
  stop_signal = signal;
}

void catch_stop_signals() {
  struct sigaction action {};
  action.sa_handler = on_stop_signal;  // no SA_RESTART: a waiting poll returns at once
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

struct Run {
  WavWriter* writer = nullptr;
  std::optional<std::uint64_t> limit;  // frames
  std::string partial;
  bool ready = false;
  std::optional<std::string> error;
  std::size_t chunks = 0;
  std::size_t bad_lines = 0;
  std::optional<std::string> write_error;
  std::vector<float> window;  // written since the last status line

  bool done() const { return write_error || (limit && writer->frames() >= *limit); }
};

void take_line(Run& run, std::string_view line) {
  if (line == "READY") {
    run.ready = true;
  } else if (line.starts_with("ERROR ")) {
    run.error.emplace(line.substr(6));
  } else if (line.starts_with("PCM ")) {
    const auto samples = decode_pcm_payload(line.substr(4));
    if (!samples) {
      ++run.bad_lines;
      return;
    }
    ++run.chunks;
    if (run.done()) return;
    std::span<const float> kept(*samples);
    if (run.limit)
      kept = kept.first(std::min<std::uint64_t>(kept.size(), *run.limit - run.writer->frames()));
    if (auto written = run.writer->write(kept); !written) run.write_error = written.error();
    run.window.insert(run.window.end(), kept.begin(), kept.end());
  } else if (!line.starts_with("STATUS ")) {
    ++run.bad_lines;
  }
}

void feed(Run& run, std::string_view bytes) {
  for (auto end = bytes.find('\n'); end != std::string_view::npos; end = bytes.find('\n')) {
    if (run.partial.empty()) {
      take_line(run, bytes.substr(0, end));
    } else {
      run.partial.append(bytes.substr(0, end));
      take_line(run, run.partial);
      run.partial.clear();
    }
    bytes.remove_prefix(end + 1);
  }
  run.partial.append(bytes);
}

// One line, rewritten in place: elapsed time, level of the audio since the
// last update, chunks so far.
void show_status(Run& run, Clock::duration elapsed) {
  const double seconds = std::chrono::duration<double>(elapsed).count();
  const double level = level_of(run.window).rms_dbfs;
  run.window.clear();
  char shown[16] = "-inf";
  if (std::isfinite(level)) std::snprintf(shown, sizeof shown, "%.1f", level);
  std::fprintf(stderr, "\rrecording %02d:%04.1f  level %s dBFS  chunks %zu\033[K",
               int(seconds / 60), std::fmod(seconds, 60.0), shown, run.chunks);
}

}  // namespace

int record_wav(const WavRecording& recording) {
  auto writer = WavWriter::create(recording.path, recording.format);
  if (!writer) {
    std::fprintf(stderr, "vantle_listen: %s\n", writer.error().c_str());
    return 1;
  }
  catch_stop_signals();
  auto spawned = Child::spawn(recording.helper_command);
  if (!spawned) {
    std::fprintf(stderr, "vantle_listen: %s\n", spawned.error().c_str());
    ::unlink(recording.path.c_str());
    return 1;
  }
  Child& helper = **spawned;
  Run run;
  run.writer = &*writer;
  // Far beyond what a WAV file holds, so the rounding below stays defined.
  if (recording.seconds)
    run.limit = std::uint64_t(std::llround(std::min(*recording.seconds, 1e12) * kRate));
  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  const auto start = Clock::now();
  auto next_status = start;
  bool ended = false;
  while (!stop_signal && !run.done()) {
    const auto bytes = helper.read_output(Clock::now() + kPoll);
    if (!bytes) {
      ended = true;  // its output closed: the helper has ended
      break;
    }
    feed(run, *bytes);
    if (terminal && run.ready && Clock::now() >= next_status) {
      show_status(run, Clock::now() - start);
      next_status = Clock::now() + kStatusEvery;
    }
  }
  std::optional<ChildEnd> end;
  if (ended) end = helper.wait(5s);
  if (!end) end = helper.terminate();
  // What the helper wrote before it ended belongs to the recording too.
  while (!run.done()) {
    const auto bytes = helper.read_output(Clock::now() + kPoll);
    if (!bytes || bytes->empty()) break;
    feed(run, *bytes);
  }
  if (terminal && run.ready) std::fputc('\n', stderr);
  const auto finished = writer->finish();

  if (!run.ready) {
    if (run.error) {
      std::fprintf(stderr, "vantle_listen: the helper failed to start: %s\n", run.error->c_str());
    } else {
      std::fprintf(stderr, "vantle_listen: the helper ended before READY (%s)\n",
                   end->describe().c_str());
    }
    ::unlink(recording.path.c_str());
    return 1;
  }
  int status = 0;
  if (!finished) {
    std::fprintf(stderr, "vantle_listen: %s\n", finished.error().c_str());
    return 1;
  }
  std::fprintf(stderr, "vantle_listen: wrote %llu samples (%.3f s) to %s\n",
               static_cast<unsigned long long>(writer->frames()), double(writer->frames()) / kRate,
               recording.path.c_str());
  if (run.write_error) {
    std::fprintf(stderr, "vantle_listen: %s\n", run.write_error->c_str());
    status = 1;
  }
  if (run.bad_lines > 0) {
    std::fprintf(stderr, "vantle_listen: %zu bad lines from the helper; their audio is missing\n",
                 run.bad_lines);
    status = 1;
  }
  if (ended && !stop_signal && !run.done()) {
    std::fprintf(stderr, "vantle_listen: the helper ended early (%s)\n", end->describe().c_str());
    status = 1;
  }
  return status;
}

}  // namespace parent
