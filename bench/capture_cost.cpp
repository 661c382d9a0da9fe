// What capturing costs the machine: the helper capturing a private server's
// sink for a while (its output read and decoded as a parent does), next to
// parec recording the same monitor as 16 kHz mono float, the plainest client
// the audio server has. Each child's CPU time (user + system) comes from
// wait4. Its peak resident memory is read from /proc (VmHWM) just before it is
// ended: wait4's ru_maxrss also counts the address space the child had before
// exec, a copy of this program's, so it is shown only beside it.
//
//   capture_cost_bench [SECONDS]      (default 30)

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "helper_child.h"
#include "private_audio_server.h"
#include "protocol_reader.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kCpuRatioTarget = 1.5;
constexpr double kRssTargetMib = 10;
constexpr double kToneAmplitude = 0.25;

struct Run {
  parent::ChildEnd end;
  long peak_kib = -1;     // VmHWM of the running child
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
  run.end = child.terminate();
  return run;
}

void print_row(const char* name, const Run& run, double seconds) {
  const auto& end = run.end;
  std::printf("%-26s %8.3f s %7.2f %% %9.2f MiB %11.2f MiB   (%s)\n", name, end.cpu_seconds(),
              100.0 * end.cpu_seconds() / seconds, double(run.peak_kib) / 1024.0,
              double(end.peak_rss_kib()) / 1024.0, end.describe().c_str());
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
  (*server)->use_in_this_process();  // both children find the server through PULSE_SERVER

  // A tone for the whole run and a little more, so that both capture sound.
  const auto frames = std::size_t((seconds + 2) * 48000);
  std::thread tone([&server, frames] {
    auto played = (*server)->play(test_support::stereo_sine(440, kToneAmplitude, frames, 4800));
    if (!played) std::fprintf(stderr, "capture_cost_bench: tone: %s\n", played.error().c_str());
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let it reach the sink

  auto helper = parent::Child::spawn({VANTLE_AUDIO_HELPER_PATH});
  auto parec = parent::Child::spawn(
      {"parec", "-d", "vantle_null.monitor", "--rate=16000", "--channels=1", "--format=float32le"});
  if (!helper || !parec) {
    std::fprintf(stderr, "capture_cost_bench: %s\n",
                 (!helper ? helper.error() : parec.error()).c_str());
    tone.join();
    return 1;
  }
  const auto start = Clock::now();
  const auto until =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  parent::ProtocolReader reader;
  Run parec_run;
  std::thread parec_reader([&] { parec_run = drive(**parec, until, [](std::string_view) {}); });
  const Run helper_run =
      drive(**helper, until, [&](std::string_view bytes) { reader.feed(bytes); });
  parec_reader.join();
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  tone.join();

  std::printf("capture_cost_bench: %.1f s of capture, a 440 Hz tone playing\n", wall);
  std::printf("%-26s %10s %9s %13s %15s\n", "", "CPU", "of wall", "peak RSS", "ru_maxrss");
  print_row("vantle_audio_helper", helper_run, wall);
  print_row("parec 16 kHz mono float", parec_run, wall);
  std::printf("helper stream: READY %s, %zu PCM lines, %.2f s decoded, %zu bad lines\n",
              reader.ready() ? "yes" : "no", reader.pcm_lines(),
              double(reader.samples().size()) / 16000.0, reader.bad_lines());
  std::printf("parec stream: %.2f s read\n", double(parec_run.bytes) / 4.0 / 16000.0);

  const double ratio = helper_run.end.cpu_seconds() / parec_run.end.cpu_seconds();
  const double rss_mib = double(helper_run.peak_kib) / 1024.0;
  std::printf("CPU helper / parec: %.2f (target <= %.1f): %s\n", ratio, kCpuRatioTarget,
              ratio <= kCpuRatioTarget ? "met" : "MISSED");
  std::printf("helper peak RSS: %.2f MiB (target < %.0f MiB): %s\n", rss_mib, kRssTargetMib,
              rss_mib < kRssTargetMib ? "met" : "MISSED");
  if (!reader.ready() || reader.samples().empty()) {
    std::fprintf(stderr, "capture_cost_bench: the helper did not stream; its diagnostics:\n%s",
                 (*helper)->error_text().c_str());
    return 1;
  }
  return 0;
}
