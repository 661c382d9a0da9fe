#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "buffer_lists.h"
#include "float_bits.h"
#include "system_audio/conversion/mono_mixdown.h"

namespace system_audio {
namespace {

using Samples = std::vector<float>;

TEST(MonoMixdownReadability, NoBuffersGiveAnEmptyResult) {
  BufferList list(0);
  const auto mono = copy_mono_f32_input(list.list());
  ASSERT_TRUE(mono.has_value());
  EXPECT_TRUE(mono->empty());
}

TEST(MonoMixdownReadability, UnusableSingleBufferIsAbsent) {
  const Samples data = {1.0f, 2.0f};
  BufferList list(1);

  list.buffer(0) = {1, 0, const_cast<float*>(data.data())};
  EXPECT_FALSE(copy_mono_f32_input(list.list()).has_value()) << "zero bytes";

  list.buffer(0) = {1, 6, const_cast<float*>(data.data())};
  EXPECT_FALSE(copy_mono_f32_input(list.list()).has_value()) << "not whole samples";

  list.buffer(0) = {1, 8, nullptr};
  EXPECT_FALSE(copy_mono_f32_input(list.list()).has_value()) << "no data";
}

TEST(MonoMixdownReadability, ListWithOnlyUnusableBuffersIsAbsent) {
  const Samples data = {1.0f, 2.0f};
  BufferList list(3);
  list.buffer(0) = {1, 8, nullptr};
  list.buffer(1) = {1, 0, const_cast<float*>(data.data())};
  list.buffer(2) = {2, 7, const_cast<float*>(data.data())};
  EXPECT_FALSE(copy_mono_f32_input(list.list()).has_value());
}

TEST(MonoMixdownReadability, MoreChannelsThanSamplesGiveAnEmptyResult) {
  const Samples data = {1.0f, 2.0f};
  auto list = single_buffer(4, data);
  const auto mono = copy_mono_f32_input(list.list());
  ASSERT_TRUE(mono.has_value());
  EXPECT_TRUE(mono->empty());
}

TEST(MonoMixdownReadability, ABufferTooShortForOneFrameEmptiesTheWholeList) {
  const Samples long_mono = {1.0f, 2.0f, 3.0f};
  const Samples one_sample = {4.0f};
  BufferList list(2);
  list.set(0, 1, long_mono);
  list.set(1, 2, one_sample);
  const auto mono = copy_mono_f32_input(list.list());
  ASSERT_TRUE(mono.has_value());
  EXPECT_TRUE(mono->empty());
}

TEST(MonoMixdownSingleBuffer, ZeroChannelsMeansMonoAndCopiesEveryBit) {
  const Samples data = {-0.0f, std::bit_cast<float>(0x7fa00001u)};
  auto list = single_buffer(0, data);
  const auto mono = copy_mono_f32_input(list.list());
  ASSERT_TRUE(mono.has_value());
  EXPECT_SAME_BITS(*mono, data);
}

TEST(MonoMixdownSingleBuffer, StereoAveragesAndIgnoresAnIncompleteFrame) {
  const Samples data = {1.0f, 3.0f, 5.0f};
  auto list = single_buffer(2, data);
  const auto mono = copy_mono_f32_input(list.list());
  ASSERT_TRUE(mono.has_value());
  EXPECT_SAME_BITS(*mono, Samples{2.0f});
}

// The sum starts at +0.0, so a frame of negative zeros averages to +0.0.
TEST(MonoMixdownSingleBuffer, NegativeZeroFramesBecomePositiveZero) {
  const Samples stereo = {-0.0f, -0.0f, -0.0f, -0.0f};
  auto list = single_buffer(2, stereo);
  EXPECT_SAME_BITS(*copy_mono_f32_input(list.list()), (Samples{0.0f, 0.0f}));

  const Samples five = {-0.0f, -0.0f, -0.0f, -0.0f, -0.0f};
  auto five_list = single_buffer(5, five);
  EXPECT_SAME_BITS(*copy_mono_f32_input(five_list.list()), Samples{0.0f});
}

// 1e8 - 1e8 + 1 is 1 when added left to right, 0 when the last two go first.
TEST(MonoMixdownSingleBuffer, ChannelsAreAddedInOrder) {
  const Samples frames = {1e8f, -1e8f, 1.0f, 1.0f, 1e8f, -1e8f};
  auto list = single_buffer(3, frames);
  EXPECT_SAME_BITS(*copy_mono_f32_input(list.list()), (Samples{1.0f / 3.0f, 0.0f}));
}

TEST(MonoMixdownSingleBuffer, UnalignedSamplesAreReadCorrectly) {
  const Samples values = {0.25f, 0.75f, -1.0f, 3.0f};
  std::vector<std::byte> storage(sizeof(float) * values.size() + 1);
  std::memcpy(storage.data() + 1, values.data(), sizeof(float) * values.size());
  BufferList list(1);
  list.buffer(0) = {2, 16, storage.data() + 1};
  EXPECT_SAME_BITS(*copy_mono_f32_input(list.list()), (Samples{0.5f, 1.0f}));
}

// Each frame computed one by one as the arithmetic is defined, for every
// length around the vector widths, so loop remainders are covered too.
TEST(MonoMixdownSingleBuffer, EveryLengthMatchesFrameByFrameArithmetic) {
  std::mt19937 random(48000);
  std::uniform_real_distribution<float> level(-1.0f, 1.0f);
  for (std::uint32_t channels : {1u, 2u, 3u, 6u}) {
    for (std::size_t frames = 0; frames <= 70; ++frames) {
      Samples data(frames * channels + 1);  // one stray sample past the last frame
      for (auto& sample : data) sample = level(random) * 1e4f;
      auto list = single_buffer(channels, std::span(data).first(frames * channels + 1));
      Samples expected;
      for (std::size_t f = 0; f < frames; ++f) {
        volatile float sum = 0.0f;
        for (std::size_t c = 0; c < channels; ++c) sum = sum + data[f * channels + c];
        expected.push_back(sum / static_cast<float>(channels));
      }
      if (channels == 1) expected.push_back(data.back());  // mono has no stray sample
      const auto mono = copy_mono_f32_input(list.list());
      ASSERT_TRUE(mono.has_value());
      ASSERT_EQ(bits_of(*mono), bits_of(expected)) << channels << " channels, " << frames;
    }
  }
}

TEST(MonoMixdownSeveralBuffers, TwoMonoBuffersAverage) {
  const Samples left = {0.5f, 1.0f};
  const Samples right = {0.25f, 0.0f};
  BufferList list(2);
  list.set(0, 1, left);
  list.set(1, 1, right);
  EXPECT_SAME_BITS(*copy_mono_f32_input(list.list()), (Samples{0.375f, 0.5f}));
}

TEST(MonoMixdownSeveralBuffers, FramesBeyondTheShortestBufferAreIgnored) {
  const Samples shorter = {1.0f, 2.0f, 3.0f};
  const Samples longer = {3.0f, 4.0f, 5.0f, 6.0f, 7.0f};
  BufferList list(2);
  list.set(0, 1, longer);
  list.set(1, 1, shorter);
  EXPECT_SAME_BITS(*copy_mono_f32_input(list.list()), (Samples{2.0f, 3.0f, 4.0f}));
}

TEST(MonoMixdownSeveralBuffers, UnusableBuffersDoNotCountAnywhereInTheList) {
  const Samples mono_data = {0.5f, -0.25f};
  BufferList list(3);
  list.buffer(0) = {1, 8, nullptr};
  list.set(1, 1, mono_data);
  list.buffer(2) = {1, 6, const_cast<float*>(mono_data.data())};
  EXPECT_SAME_BITS(*copy_mono_f32_input(list.list()), mono_data);
}

TEST(MonoMixdownSeveralBuffers, EveryBufferWeighsTheSameWhateverItsChannels) {
  const Samples stereo = {1.0f, 3.0f, -2.0f, 0.0f};
  const Samples mono_data = {4.0f, 1.0f};
  BufferList list(2);
  list.set(0, 2, stereo);
  list.set(1, 1, mono_data);
  // ((1 + 3) / 2 + 4) / 2 and ((-2 + 0) / 2 + 1) / 2
  EXPECT_SAME_BITS(*copy_mono_f32_input(list.list()), (Samples{3.0f, 0.0f}));
}

TEST(MonoMixdownSeveralBuffers, BuffersAreAddedInListOrder) {
  const Samples first = {1e8f};
  const Samples second = {-1e8f};
  const Samples third = {1.0f};
  BufferList list(3);
  list.set(0, 1, first);
  list.set(1, 1, second);
  list.set(2, 1, third);
  EXPECT_SAME_BITS(*copy_mono_f32_input(list.list()), Samples{1.0f / 3.0f});
}

TEST(MonoMixdownSeveralBuffers, ResultIsExactlyTheFrameCountLong) {
  const Samples a(300, 0.5f);
  const Samples b(600, 0.25f);
  BufferList list(2);
  list.set(0, 1, a);
  list.set(1, 2, b);
  const auto mono = copy_mono_f32_input(list.list());
  ASSERT_TRUE(mono.has_value());
  EXPECT_EQ(mono->size(), 300u);
  EXPECT_EQ(mono->capacity(), 300u);
  EXPECT_EQ(mono->front(), 0.375f);
  EXPECT_EQ(mono->back(), 0.375f);
}

}  // namespace
}  // namespace system_audio
