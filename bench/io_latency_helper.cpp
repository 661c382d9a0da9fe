// The helper as it is built (frame, coreaudio backend, conversion) on the
// scripted HAL, whose tap reports 16 kHz mono float. From a thread of its own
// it delivers a 10 ms block every 10 ms, each block carrying the
// CLOCK_MONOTONIC time of its delivery (io_latency_stamp.h), for
// io_latency_bench to read back.
//
//   io_latency_helper [--blocks=N] [--stamp=call|delivery]
//
// The fake HAL delivers each block on the IOProc's queue. --stamp=call
// (default): the stamp is taken on that queue right before the block is
// called. --stamp=delivery: the stamp is the moment of delivery, so the
// queue's hop is counted too.

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

#include "fake_apple.h"
#include "io_latency_stamp.h"
#include "system_audio/coreaudio/coreaudio_session.h"
#include "system_audio/frame/run_stdio_helper.h"

namespace {

using namespace system_audio;

constexpr long kBlockNs = 10'000'000;
constexpr std::size_t kDefaultBlocks = 1000;

std::uint64_t now_ns() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::uint64_t(now.tv_sec) * 1'000'000'000u + std::uint64_t(now.tv_nsec);
}

void deliver_blocks(std::size_t blocks, bool stamp_at_call) {
  // An empty block, which the helper ignores, shows when the IOProc runs.
  while (!fake::deliver_block({})) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  for (std::size_t k = 0; k < blocks; ++k) {
    next.tv_nsec += kBlockNs;
    if (next.tv_nsec >= 1'000'000'000) {
      next.tv_nsec -= 1'000'000'000;
      ++next.tv_sec;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) != 0) {
    }
    const auto block = io_latency::stamped_block(now_ns());
    fake::deliver_block({{block.begin(), block.end()}}, 1, [stamp_at_call](fake::Buffers& b) {
      if (!stamp_at_call) return;
      const auto stamped = io_latency::stamped_block(now_ns());
      b[0].assign(stamped.begin(), stamped.end());
    });
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t blocks = kDefaultBlocks;
  bool stamp_at_call = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument.starts_with("--blocks=")) blocks = std::strtoul(argv[i] + 9, nullptr, 10);
    if (argument == "--stamp=delivery") stamp_at_call = false;
  }
  fake::install().tap_format.mSampleRate = io_latency::kTapRate;
  // Runs for the life of the process, like the HAL's IO thread.
  std::thread(deliver_blocks, blocks, stamp_at_call).detach();
  static constexpr BackendStart backends[] = {
      {"coreaudio", &start_owned<&CoreAudioSession::start>}};
  return helper_main(argc, argv, backends);
}
