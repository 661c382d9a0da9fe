// Latency inside the helper: from the IO block's call to the PCM line that
// carries the block arriving on the parent's pipe. io_latency_helper delivers
// stamped 10 ms blocks; this parent reads its output as an application does
// and subtracts each block's stamp from the time the read that completed the
// block returned.
//
//   io_latency_bench [BLOCKS]      (default 1000 per stamping mode)

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "helper_child.h"
#include "io_latency_stamp.h"
#include "protocol_reader.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kP99TargetUs = 200;

struct Measured {
  std::vector<double> latencies_us;
  std::size_t damaged = 0;  // blocks whose samples did not decode to a stamp
  std::string failure;
};

Measured measure(const std::string& mode, std::size_t blocks) {
  Measured measured;
  auto spawned = parent::Child::spawn(
      {IO_LATENCY_HELPER_PATH, "--blocks=" + std::to_string(blocks), "--stamp=" + mode});
  if (!spawned) {
    measured.failure = spawned.error();
    return measured;
  }
  parent::Child& helper = **spawned;
  parent::ProtocolReader reader;
  // A block's stamp (its first samples) comes with the block's own PCM line,
  // while its last sample waits in the resampler for the next block's line. So
  // the arrival is taken when the stamp is in, and the block checked whole
  // once that sample follows; the last block never completes.
  const std::size_t measurable = blocks - 1;
  std::vector<std::uint64_t> stamp_arrival;
  std::size_t checked = 0;
  const auto until =
      Clock::now() + std::chrono::milliseconds(10 * blocks) + std::chrono::seconds(10);
  while (checked < measurable && Clock::now() < until) {
    const auto bytes = helper.read_output(until);
    const std::uint64_t arrival = parent::monotonic_ns();
    if (!bytes) break;
    reader.feed(*bytes);
    const auto& samples = reader.samples();
    while (samples.size() >= stamp_arrival.size() * io_latency::kBlockFrames + 4) {
      stamp_arrival.push_back(arrival);
    }
    while (checked < measurable && samples.size() >= (checked + 1) * io_latency::kBlockFrames) {
      const auto stamp = io_latency::read_stamp(
          std::span(samples).subspan(checked * io_latency::kBlockFrames, io_latency::kBlockFrames));
      if (!stamp || *stamp > stamp_arrival[checked]) {
        ++measured.damaged;
      } else {
        measured.latencies_us.push_back(double(stamp_arrival[checked] - *stamp) / 1000.0);
      }
      ++checked;
    }
  }
  if (checked < measurable) {
    measured.failure = "only " + std::to_string(checked) + " of " + std::to_string(measurable) +
                       " blocks came back; helper diagnostics:\n" + helper.error_text();
  }
  helper.terminate();
  return measured;
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto at = std::size_t(p / 100.0 * double(values.size() - 1) + 0.5);
  return values[std::min(at, values.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t blocks = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000;
  if (blocks < 2) {
    std::fprintf(stderr, "usage: io_latency_bench [BLOCKS]\n");
    return 2;
  }
  bool ok = true;
  for (const std::string mode : {"call", "delivery"}) {
    const auto measured = measure(mode, blocks);
    if (!measured.failure.empty() || measured.latencies_us.empty()) {
      std::fprintf(stderr, "io_latency_bench (%s): %s\n", mode.c_str(), measured.failure.c_str());
      ok = false;
      continue;
    }
    const auto& l = measured.latencies_us;
    const double p99 = percentile(l, 99);
    const auto over =
        std::count_if(l.begin(), l.end(), [](double us) { return us >= kP99TargetUs; });
    std::printf(
        "io_latency_bench: stamp at block %-8s %zu blocks: p50 %7.1f us  p90 %7.1f us  "
        "p99 %7.1f us  max %8.1f us  (%ld at or over %.0f us)  damaged %zu%s\n",
        mode.c_str(), l.size(), percentile(l, 50), percentile(l, 90), p99,
        *std::max_element(l.begin(), l.end()), long(over), kP99TargetUs, measured.damaged,
        mode == "call" ? (p99 < kP99TargetUs ? "  (target p99 < 200 us: met)"
                                             : "  (target p99 < 200 us: MISSED)")
                       : "");
    ok = ok && measured.damaged == 0;
  }
  return ok ? 0 : 1;
}
