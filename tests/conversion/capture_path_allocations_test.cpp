// The replaced operator new and delete pair malloc with free; GCC cannot see
// the pairing through the replacement and warns at every inlined delete.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <cstdlib>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "buffer_lists.h"
#include "system_audio/conversion/linear_resampler.h"
#include "system_audio/conversion/low_pass_filter.h"
#include "system_audio/conversion/mono_mixdown.h"
#include "system_audio/conversion/pcm_chunk.h"

// Counts the allocations made while a test's Counting scope is open.
namespace {
thread_local bool counting = false;
thread_local std::vector<std::size_t>* sizes = nullptr;
}  // namespace

void* operator new(std::size_t size) {
  if (counting && sizes != nullptr) {
    counting = false;  // the record itself must not count
    sizes->push_back(size);
    counting = true;
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}

namespace system_audio {
namespace {

class Counting {
 public:
  Counting() {
    recorded_.reserve(64);
    sizes = &recorded_;
    counting = true;
  }
  ~Counting() { stop(); }
  const std::vector<std::size_t>& stop() {
    counting = false;
    sizes = nullptr;
    return recorded_;
  }

 private:
  std::vector<std::size_t> recorded_;
};

// Several buffers accumulate in the result itself, not in a scratch array.
TEST(CapturePathAllocations, MixdownAllocatesOnlyItsResult) {
  const std::vector<float> samples(1024, 0.5f);
  BufferList stereo(1);
  stereo.set(0, 2, samples);
  BufferList two_mono(2);
  two_mono.set(0, 1, std::span(samples).first(512));
  two_mono.set(1, 1, std::span(samples).last(512));
  for (auto* list : {&stereo, &two_mono}) {
    Counting counting;
    const auto mono = copy_mono_f32_input(list->list());
    const auto made = counting.stop();
    EXPECT_EQ(made, (std::vector<std::size_t>{512 * sizeof(float)}));
  }
}

TEST(CapturePathAllocations, SteadyFilteringAndResamplingAllocateOnlyTheOutput) {
  LowPassFilter filter(48000.0);
  LinearResampler resampler(48000.0);
  std::vector<float> block(512, 0.25f);
  resampler.process(block);
  for (int call = 0; call < 50; ++call) {
    Counting counting;
    low_pass(filter, resampler, block);
    const auto out = resampler.process(block);
    const auto made = counting.stop();
    ASSERT_EQ(made, (std::vector<std::size_t>{171 * sizeof(float)})) << call;
  }
}

TEST(CapturePathAllocations, ChunkEncodingAllocatesExactlyItsBytes) {
  const std::vector<float> samples(170, 0.25f);
  Counting counting;
  const auto chunk = encode_pcm_chunk(samples);
  const auto made = counting.stop();
  EXPECT_EQ(made, (std::vector<std::size_t>{680}));
}

}  // namespace
}  // namespace system_audio
