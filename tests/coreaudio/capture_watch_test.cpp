// The watch's judgement, look by look: a capture whose IO stopped while its
// device lives, and a tap that heard only exact zeros for 10 s while another
// process played, are each told once, and neither after another failure.

#include <unistd.h>

#include <cmath>

#include "fake_fixture.h"
#include "system_audio/coreaudio/capture_watch.h"

namespace system_audio {
namespace {

using CaptureWatchJudge = testing::FakeHalTest;

const std::string kSilent =
    "silent: no audio reached the tap for 10 s while other applications play; System Audio "
    "Recording permission may be missing";
const std::string kStopped = "failed: CoreAudio capture stopped";

TEST_F(CaptureWatchJudge, TellsAStoppedCaptureAndASilentTapOnce) {
  const fake::Script::Process other{500, ::getpid() + 1, 1}, idle{500, ::getpid() + 1, 0},
      own{501, ::getpid(), 1};
  const struct {
    const char* name;
    double zero_seconds;  // delivered in 10 ms cycles at 48 kHz before the looks
    float last_sample;    // of the last cycle
    std::vector<fake::Script::Process> processes;
    UInt32 alive;
    bool failed_before;  // another failure was told first
    int looks;           // with no cycle after the audio; the first sees the cycles
    std::string statuses;
  } rows[] = {
      {"zeros while another plays", 10.0, -0.0f, {own, other}, 1, false, 1, kSilent},
      {"a little less", 9.99, 0.0f, {other}, 1, false, 1, ""},
      {"a sample heard", 10.0, -1e-30f, {other}, 1, false, 1, ""},
      {"only this process plays", 10.0, 0.0f, {own}, 1, false, 1, ""},
      {"the other is idle", 10.0, 0.0f, {idle}, 1, false, 1, ""},
      {"stopped", 0.01, 0.0f, {}, 1, false, 1 + kStallLooks, kStopped},
      {"not yet stopped", 0.01, 0.0f, {}, 1, false, kStallLooks, ""},
      {"stopped with the device gone", 0.01, 0.0f, {}, 0, false, 1 + kStallLooks, ""},
      {"never started", 0.0, 0.0f, {other}, 1, false, 40, ""},
      {"each once", 10.0, 0.0f, {other}, 1, false, 40, kSilent + "|" + kStopped},
      {"after another failure",
       10.0,
       0.0f,
       {other},
       1,
       true,
       40,
       "failed: CoreAudio default output device changed"},
  };
  for (const auto& row : rows) {
    fake::install();
    script.processes = row.processes;
    script.device_alive = row.alive;
    auto [pcm_tx, pcm] = make_channel<PcmChunk>();
    auto [status_tx, status] = make_channel<StatusText>();
    status_rx = std::move(status);
    auto state = std::make_shared<TapCallbackState>(std::move(pcm_tx), std::move(status_tx));
    state->tap_rate = 48000.0;
    auto monitor = std::make_shared<CaptureMonitor>(testing::kDevice, testing::kTap,
                                                    testing::kAggregate, state, script.tap_format);
    if (row.failed_before) monitor->alarms.raise(Alarm::default_changed);
    std::vector<float> block(480);
    for (auto cycles = std::lround(row.zero_seconds * 100); cycles-- > 0;) {
      if (cycles == 0) block.back() = row.last_sample;
      AudioBufferList list{1, {{1, UInt32(block.size() * 4), block.data()}}};
      run_io_block(state.get(), nullptr, &list, nullptr, nullptr, nullptr);
    }
    CaptureJudge judge(monitor);
    for (int i = 0; i < row.looks; ++i) judge.look();
    EXPECT_EQ(statuses(), row.statuses) << row.name;
  }
}

}  // namespace
}  // namespace system_audio
