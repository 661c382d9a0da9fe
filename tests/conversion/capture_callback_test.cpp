#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>

#include <cmath>
#include <csignal>
#include <optional>
#include <string>
#include <thread>

#include "conversion_support.h"

namespace system_audio {
namespace {

using Texts = std::vector<std::string>;

// Stereo frames whose channels average to the frame number, in blocks of 1,
// 511, 512 and 512 frames: every third frame comes out, one chunk for each
// block that yields samples, together what the conversion makes of the mono
// ramp at once; "receiving" with the first chunk.
TEST(CapturePipeline, At48kHzEveryThirdFrameComesOutInChunksOfTheBlocks) {
  Capture tap(48000.0);
  const std::size_t frames[] = {1, 511, 512, 512}, sizes[] = {0, 171, 170, 171};
  Samples joined, ramp;
  for (std::size_t block = 0; block < 4; ++block) {
    Samples data;
    for (std::size_t f = ramp.size(), end = f + frames[block]; f < end; ++f) {
      data.insert(data.end(), {f - 0.5f, f + 0.5f});
      ramp.push_back(float(f));
    }
    process_input_buffers(*tap.state, BufferList({{2, data}}).list(), 48000.0);
    std::size_t chunks = 0;
    const Samples out = tap.samples(&chunks);
    EXPECT_EQ(chunks, sizes[block] ? 1u : 0u);
    ASSERT_EQ(out.size(), sizes[block]);
    joined.insert(joined.end(), out.begin(), out.end());
    EXPECT_EQ(tap.statuses(), block == 1 ? Texts{"receiving"} : Texts{});
  }
  RateConversion whole(48000.0);
  low_pass(whole.low_pass, whole.resampler, ramp);
  Samples expected;
  whole.resampler.process(ramp, expected);
  EXPECT_EQ(bits_of(joined), bits_of(expected));
}

// Where a capture stands still while the test looks.
sem_t thawed;
void freeze(int) {
  while (sem_wait(&thawed) != 0) {
  }
}

// "receiving" goes before the chunk of the first callback that yields
// samples. The capture runs at idle priority on the receiver's one CPU, so the
// receiver, woken by the chunk, runs before the callback goes on, and freezes
// it there with a signal: "receiving" is there only if it was sent first.
TEST(CapturePipeline, ReceivingIsSentBeforeTheFirstChunk) {
  Capture tap(48000.0);
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu(), &one);
  ASSERT_EQ(pthread_setaffinity_np(pthread_self(), sizeof one, &one), 0);
  ASSERT_EQ(sem_init(&thawed, 0, 0), 0);
  std::signal(SIGUSR1, &freeze);
  std::thread capture([&] {  // on the same CPU
    const sched_param idle{};
    EXPECT_EQ(pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle), 0);
    sched_yield();  // the receiver first, until it waits
    process_input_buffers(*tap.state, BufferList({{1, Samples(480, 0.5f)}}).list());
  });
  EXPECT_TRUE(tap.pcm_rx.receive());
  pthread_kill(capture.native_handle(), SIGUSR1);
  const auto status = tap.status_rx.receive_for({}).message;
  sem_post(&thawed);
  capture.join();
  EXPECT_EQ(status, "receiving");
}

// A conversion is made only when the rate differs from the stored one by more
// than the f64 epsilon. Rates below 16 kHz compare as the 16 kHz they are
// stored as; NaN never compares greater, so it never remakes one.
TEST(CapturePipeline, TheConversionIsMadeAnewOnlyWhenTheRateChanges) {
  const struct {
    double rate;
    Samples in;
    bool made;
  } blocks[] = {
      {NAN, {1, 2, 3}, true},
      {NAN, {4, 5}, false},
      {48000, {1, 2, 3, 4}, true},
      {NAN, {5, 6, 7, 8}, false},  // the 48 kHz conversion goes on
      {std::nextafter(48000.0, 0.0), {1, 2, 3, 4}, true},
      {44100, {6, 7, 8, 9, 10, 11}, true},  // the old pending sample is gone
      {44100, {12}, false},
      {8000, {1, 2, 3}, true},
      {8000, {4}, false},  // stored as 16 kHz: kept, losing no sample
      {std::nextafter(16000.0, 1e9), {5, 6}, true},
      {96000, {}, false},  // nothing readable: no conversion made
  };
  Capture sck;
  static int notices = 0;
  sck.state->new_rate_notice = [](double) { ++notices; };
  // What a conversion made afresh at each change, and kept otherwise, gives.
  std::optional<RateConversion> conversion;
  for (const auto& block : blocks) {
    notices = 0;
    process_input_buffers(*sck.state, BufferList({{1, block.in}}).list(), block.rate);
    EXPECT_EQ(notices, block.made ? 1 : 0) << block.rate;
    if (block.made) conversion.emplace(block.rate);
    Samples filtered = block.in, expected;
    if (conversion) {
      low_pass(conversion->low_pass, conversion->resampler, filtered);
      conversion->resampler.process(filtered, expected);
    }
    EXPECT_EQ(sck.samples(), expected) << block.rate;
  }
  EXPECT_EQ(sck.statuses(), Texts{"receiving"});
}

// At 48 kHz an output reads its right sample at t = 0: a + (b - a) * 0. An
// infinite filtered b still makes it NaN, also when b's own sample is finite.
// Here the outermost taps of b's window sum two of the largest floats.
TEST(CapturePipeline, ARightSampleThatOverflowsInTheFilterStillMakesNaN) {
  Capture tap(48000.0);
  Samples block(600, 0.0f);
  block[255] = block[301] = 3e38f;  // output 100 reads 300 and 301
  process_input_buffers(*tap.state, BufferList({{1, block}}).list(), 48000.0);
  const Samples out = tap.samples();
  ASSERT_EQ(out.size(), 200u);
  EXPECT_TRUE(std::isnan(out[100])) << out[100];
}

}  // namespace
}  // namespace system_audio
