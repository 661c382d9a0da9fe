// Any buffer list a driver could report: any number of buffers and channels,
// sizes that are not whole frames or samples, missing data. The list and every
// buffer sit in heap blocks of exactly their declared size, so that a read
// beyond what the list declares is reported; the result must be what the
// mixdown rule gives for that shape, bit for bit.
#include "fuzz_target.h"
#include "system_audio/conversion/mono_mixdown.h"

static float sample(const AudioBuffer* buffer, std::size_t index) {
  float value;
  std::memcpy(&value, static_cast<const char*>(buffer->mData) + 4 * index, 4);
  return value;
}

static std::size_t channels(const AudioBuffer* buffer) {
  return std::max(buffer->mNumberChannels, 1u);
}

// The rule written out frame by frame: a buffer's channels averaged in order,
// the usable buffers' averages averaged in list order; one mono buffer copied.
static std::optional<std::vector<float>> expected(const AudioBuffer* buffers, std::uint32_t count) {
  std::vector<const AudioBuffer*> usable;
  std::size_t frames = SIZE_MAX;
  for (const AudioBuffer* b = buffers; b < buffers + count; ++b) {
    if (!b->mData || b->mDataByteSize == 0 || b->mDataByteSize % 4 != 0) continue;
    usable.push_back(b);
    frames = std::min(frames, b->mDataByteSize / 4 / channels(b));
  }
  if (count == 0) return std::vector<float>();
  if (usable.empty()) return std::nullopt;
  std::vector<float> mono(frames);
  for (std::size_t f = 0; f < frames; ++f) {
    float mix = 0.0f, average = 0.0f;
    for (const AudioBuffer* b : usable) {
      float sum = 0.0f;
      for (std::size_t c = 0; c < channels(b); ++c) sum += sample(b, f * channels(b) + c);
      mix += average = sum / static_cast<float>(channels(b));
    }
    mono[f] = count > 1                  ? mix / static_cast<float>(usable.size())
              : channels(usable[0]) == 1 ? sample(usable[0], f)
                                         : average;
  }
  return mono;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const auto count = input.ConsumeIntegralInRange<std::uint32_t>(0, 10);
  std::vector<std::unique_ptr<char[]>> blocks;
  blocks.push_back(std::make_unique<char[]>(offsetof(AudioBufferList, mBuffers) + 16 * count));
  auto& list = *reinterpret_cast<AudioBufferList*>(blocks[0].get());
  list.mNumberBuffers = count;
  AudioBuffer* const buffers = list.mBuffers;
  for (AudioBuffer* b = buffers; b < buffers + count; ++b) {
    b->mNumberChannels = input.ConsumeBool() ? input.ConsumeIntegral<std::uint32_t>()
                                             : input.ConsumeIntegralInRange<std::uint32_t>(0, 9);
    const auto bytes = input.ConsumeBytes<char>(input.ConsumeIntegralInRange(0, 2048));
    const int offset = input.ConsumeIntegralInRange(0, 3);  // unaligned, still ending at the end
    b->mDataByteSize = static_cast<std::uint32_t>(bytes.size());
    if (input.ConsumeIntegralInRange(0, 7) == 0) continue;  // no data, whatever the size says
    blocks.push_back(std::make_unique<char[]>(offset + bytes.size()));
    b->mData = blocks.back().get() + offset;
    std::ranges::copy(bytes, static_cast<char*>(b->mData));
  }

  std::vector<float> mono;
  const bool readable = system_audio::copy_mono_f32_input(list, mono);
  const auto rule = expected(buffers, count);
  FUZZ_CHECK(readable == rule.has_value() &&
             (!readable || std::ranges::equal(mono, *rule, same_sample)));
  return 0;
}
