#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "buffer_lists.h"
#include "float_bits.h"
#include "system_audio/conversion/mono_mixdown.h"

namespace system_audio {
namespace {

using Samples = std::vector<float>;

struct Buffer {
  std::uint32_t channels;
  Samples data;
  std::int64_t bytes = -1;  // the data's own size unless set
  bool null = false;
};

struct MixCase {
  const char* name;
  std::vector<Buffer> buffers;
  std::optional<Samples> mono;  // absent: the list is unreadable
};

const float kNan = std::bit_cast<float>(0x7fa00001u);

const MixCase kCases[] = {
    {"no buffers give an empty result", {}, Samples{}},
    {"zero bytes", {{1, {1, 2}, 0}}, std::nullopt},
    {"not whole samples", {{1, {1, 2}, 6}}, std::nullopt},
    {"no data", {{1, {1, 2}, 8, true}}, std::nullopt},
    {"only unusable buffers", {{1, {1, 2}, 8, true}, {1, {1, 2}, 0}, {2, {1, 2}, 7}}, std::nullopt},
    {"more channels than samples", {{4, {1, 2}}}, Samples{}},
    {"a buffer too short for a frame empties the list", {{1, {1, 2, 3}}, {2, {4}}}, Samples{}},
    {"zero channels means mono, every bit copied", {{0, {-0.0f, kNan}}}, Samples{-0.0f, kNan}},
    {"stereo averages, an incomplete frame is ignored", {{2, {1, 3, 5}}}, Samples{2}},
    // The sum starts at +0.0, so a frame of negative zeros averages to +0.0.
    {"negative zero stereo", {{2, {-0.0f, -0.0f, -0.0f, -0.0f}}}, Samples{0, 0}},
    {"negative zero five channels", {{5, Samples(5, -0.0f)}}, Samples{0}},
    // 1e8 - 1e8 + 1 is 1 when added left to right, 0 when the last two go first.
    {"channels added in order", {{3, {1e8f, -1e8f, 1, 1, 1e8f, -1e8f}}}, Samples{1.0f / 3, 0}},
    {"buffers added in list order", {{1, {1e8f}}, {1, {-1e8f}}, {1, {1}}}, Samples{1.0f / 3}},
    {"two mono buffers average", {{1, {0.5f, 1}}, {1, {0.25f, 0}}}, Samples{0.375f, 0.5f}},
    {"frames beyond the shortest buffer are ignored",
     {{1, {3, 4, 5, 6, 7}}, {1, {1, 2, 3}}},
     Samples{2, 3, 4}},
    {"unusable buffers do not count anywhere",
     {{1, {}, 8, true}, {1, {0.5f, -0.25f}}, {1, {0.5f, -0.25f}, 6}},
     Samples{0.5f, -0.25f}},
    // ((1 + 3) / 2 + 4) / 2 and ((-2 + 0) / 2 + 1) / 2
    {"every buffer weighs the same whatever its channels",
     {{2, {1, 3, -2, 0}}, {1, {4, 1}}},
     Samples{3, 0}},
};

TEST(MonoMixdown, EachListGivesItsExactBitsOrIsUnreadable) {
  for (const auto& c : kCases) {
    BufferList list(c.buffers.size());
    for (std::size_t i = 0; i < c.buffers.size(); ++i) {
      const auto& b = c.buffers[i];
      list.set(i, b.channels, b.data);
      if (b.bytes >= 0) list.buffer(i).mDataByteSize = static_cast<std::uint32_t>(b.bytes);
      if (b.null) list.buffer(i).mData = nullptr;
    }
    const auto mono = copy_mono_f32_input(list.list());
    ASSERT_EQ(mono.has_value(), c.mono.has_value()) << c.name;
    if (mono) {
      EXPECT_EQ(bits_of(*mono), bits_of(*c.mono)) << c.name;
    }
  }
}

TEST(MonoMixdown, UnalignedSamplesAreReadCorrectly) {
  const Samples values = {0.25f, 0.75f, -1.0f, 3.0f};
  std::vector<std::byte> storage(sizeof(float) * values.size() + 1);
  std::memcpy(storage.data() + 1, values.data(), sizeof(float) * values.size());
  BufferList list(1);
  list.buffer(0) = {2, 16, storage.data() + 1};
  EXPECT_SAME_BITS(*copy_mono_f32_input(list.list()), (Samples{0.5f, 1.0f}));
}

// Each frame computed one by one as the arithmetic is defined, for every
// length around the vector widths, so loop remainders are covered too.
TEST(MonoMixdown, EveryLengthMatchesFrameByFrameArithmetic) {
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

TEST(MonoMixdown, ResultIsExactlyTheFrameCountLong) {
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
