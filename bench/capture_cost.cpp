// What capturing costs the machine: the helper capturing a private server's
// sink for a while with each of its backends (its output read and decoded as a
// parent does), next to parec recording the same monitor as 16 kHz mono float,
// the plainest client the audio server has, in the same run. parec runs twice:
// at its default fragment size, and at the helper's own 10 ms (at its default
// parec wakes less often, so a ratio against it flatters parec); the targets
// are met against the second. Each child's CPU time (user + system) comes from
// wait4. Its peak resident memory is read from /proc (VmHWM) just before it is
// ended: wait4's ru_maxrss also counts the address space the child had before
// exec, a copy of this program's, so it is shown only beside it. Each child's
// context switches (all its threads, per second of the run) are shown too.
//
//   capture_cost_bench [SECONDS]      (default 30)

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "helper_child.h"
#include "private_audio_server.h"
#include "protocol_reader.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kSwitchRatioTarget = 1.5;
constexpr double kRssTargetMib = 7;
constexpr double kToneAmplitude = 0.25;

struct Run {
  parent::ChildEnd end;
  long peak_kib = -1;     // VmHWM of the running child
  long switches = -1;     // context switches of all its threads, both kinds
  std::size_t bytes = 0;  // bytes of output read
};

// The high-water mark of the process's resident memory since its exec.
long vm_hwm_kib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("VmHWM:")) return std::atol(line.c_str() + 6);
  }
  return -1;
}

// What a capturer costs is mostly its wake-ups (every thread that sleeps
// between buffers is switched in and out once a buffer at least), so their
// count goes with the CPU time: voluntary and involuntary, over every thread.
long context_switches(pid_t pid) {
  long total = 0;
  std::error_code error;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    std::ifstream status(task.path() / "status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.starts_with("voluntary_ctxt_switches:")) total += std::atol(line.c_str() + 24);
      if (line.starts_with("nonvoluntary_ctxt_switches:")) total += std::atol(line.c_str() + 27);
    }
  }
  return error ? -1 : total;
}

// The machine is shared: the load when the run began goes with its numbers.
std::string load_average() {
  std::ifstream file("/proc/loadavg");
  std::string one, five, fifteen;
  file >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

// Reads a child's output until the deadline, then ends it (SIGTERM).
template <class Take>
Run drive(parent::Child& child, Clock::time_point until, Take take) {
  Run run;
  while (Clock::now() < until) {
    const auto bytes = child.read_output(until);
    if (!bytes) break;
    run.bytes += bytes->size();
    take(*bytes);
  }
  run.peak_kib = vm_hwm_kib(child.pid());
  run.switches = context_switches(child.pid());
  run.end = child.terminate();
  return run;
}

void print_row(const std::string& name, const Run& run, double seconds) {
  const auto& end = run.end;
  std::printf("%-26s %8.3f s %7.2f %% %9.2f MiB %11.2f MiB %10.0f/s   (%s)\n", name.c_str(),
              end.cpu_seconds(), 100.0 * end.cpu_seconds() / seconds, double(run.peak_kib) / 1024.0,
              double(end.peak_rss_kib()) / 1024.0, double(run.switches) / seconds,
              end.describe().c_str());
}

struct Capturer {
  std::string name;
  std::vector<std::string> arguments;
  double cpu_ratio_target = 0;  // against parec at 10 ms; 0: not the helper
  bool helper = false;          // speaks the line protocol
  std::unique_ptr<parent::Child> child;
  parent::ProtocolReader reader;
  Run run;
};

std::vector<std::string> parec(std::vector<std::string> extra) {
  std::vector<std::string> arguments{"parec",        "-d",           "vantle_null.monitor",
                                     "--rate=16000", "--channels=1", "--format=float32le"};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
  if (seconds <= 0) {
    std::fprintf(stderr, "usage: capture_cost_bench [SECONDS]\n");
    return 2;
  }
  auto server = test_support::PrivateAudioServer::start();
  if (!server) {
    std::fprintf(stderr, "capture_cost_bench: %s\n", server.error().c_str());
    return 1;
  }
  const std::string load_before = load_average();
  (*server)->use_in_this_process();  // every child finds the server through PULSE_SERVER

  // A tone for the whole run and a little more, so that every child captures sound.
  const auto frames = std::size_t((seconds + 2) * 48000);
  std::thread tone([&server, frames] {
    auto played = (*server)->play(test_support::stereo_sine(440, kToneAmplitude, frames, 4800));
    if (!played) std::fprintf(stderr, "capture_cost_bench: tone: %s\n", played.error().c_str());
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let it reach the sink

  std::vector<Capturer> capturers;
  const auto add = [&capturers](std::string name, std::vector<std::string> arguments,
                                double cpu_ratio_target) {
    capturers.emplace_back();
    capturers.back().name = std::move(name);
    capturers.back().arguments = std::move(arguments);
    capturers.back().cpu_ratio_target = cpu_ratio_target;
    capturers.back().helper = cpu_ratio_target > 0;
  };
  add("helper coreaudio", {VANTLE_AUDIO_HELPER_PATH}, 1.0);
  add("helper sck", {VANTLE_AUDIO_HELPER_PATH, "--backend=sck"}, 1.1);
  add("parec 16 kHz mono float", parec({}), 0);
  add("parec, 10 ms fragments", parec({"--latency-msec=10"}), 0);
  for (auto& capturer : capturers) {
    auto child = parent::Child::spawn(capturer.arguments);
    if (!child) {
      std::fprintf(stderr, "capture_cost_bench: %s\n", child.error().c_str());
      tone.join();
      return 1;
    }
    capturer.child = std::move(*child);
  }
  const auto start = Clock::now();
  const auto until =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  std::vector<std::thread> readers;
  for (auto& capturer : capturers) {
    readers.emplace_back([&capturer, until] {
      capturer.run = drive(*capturer.child, until, [&](std::string_view bytes) {
        if (capturer.helper) capturer.reader.feed(bytes);
      });
    });
  }
  for (auto& reader : readers) reader.join();
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  tone.join();

  std::printf("capture_cost_bench: %.1f s of capture, a 440 Hz tone playing; load before: %s\n",
              wall, load_before.c_str());
  std::printf("%-26s %10s %9s %13s %15s %12s\n", "", "CPU", "of wall", "peak RSS", "ru_maxrss",
              "switches");
  for (const auto& capturer : capturers) print_row(capturer.name, capturer.run, wall);
  const Run& parec_default = capturers[2].run;
  const Run& parec_10ms = capturers[3].run;
  int status = 0;
  for (const auto& capturer : capturers) {
    if (!capturer.helper) continue;
    const auto& reader = capturer.reader;
    std::printf("%s: READY %s, %zu PCM lines, %.2f s decoded, %zu bad lines\n",
                capturer.name.c_str(), reader.ready() ? "yes" : "no", reader.pcm_lines(),
                double(reader.samples().size()) / 16000.0, reader.bad_lines());
    const double cpu = capturer.run.end.cpu_seconds();
    const double ratio = cpu / parec_10ms.end.cpu_seconds();
    const double switches = double(capturer.run.switches) / double(parec_10ms.switches);
    const double rss_mib = double(capturer.run.peak_kib) / 1024.0;
    const double target = capturer.cpu_ratio_target;
    std::printf("  CPU / parec at 10 ms: %.2f (target <= %.1f): %s; / parec at its default: %.2f\n",
                ratio, target, ratio <= target ? "met" : "MISSED",
                cpu / parec_default.end.cpu_seconds());
    std::printf("  context switches / parec at 10 ms: %.2f (target <= %.1f): %s\n", switches,
                kSwitchRatioTarget, switches <= kSwitchRatioTarget ? "met" : "MISSED");
    std::printf("  peak RSS: %.2f MiB (target < %.0f MiB): %s\n", rss_mib, kRssTargetMib,
                rss_mib < kRssTargetMib ? "met" : "MISSED");
    if (!reader.ready() || reader.samples().empty()) {
      std::fprintf(stderr, "capture_cost_bench: %s did not stream; its diagnostics:\n%s",
                   capturer.name.c_str(), capturer.child->error_text().c_str());
      status = 1;
    }
  }
  std::printf("parec streams: %.2f s and %.2f s read\n",
              double(parec_default.bytes) / 4.0 / 16000.0,
              double(parec_10ms.bytes) / 4.0 / 16000.0);
  return status;
}
