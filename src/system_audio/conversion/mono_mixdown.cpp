#include "system_audio/conversion/mono_mixdown.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace system_audio {
namespace {

constexpr std::uint32_t kBytesPerSample = sizeof(float);

// Platform buffers are read through memcpy: no alignment is assumed, and the
// compiler turns it into plain (vector) loads.
inline float load(const std::byte* samples, std::size_t index) {
  float value;
  std::memcpy(&value, samples + index * kBytesPerSample, kBytesPerSample);
  return value;
}

struct Usable {
  const std::byte* samples;
  std::size_t channels;
  std::size_t frames;
};

bool is_usable(const AudioBuffer& buffer) {
  return buffer.mData != nullptr && buffer.mDataByteSize != 0 &&
         buffer.mDataByteSize % kBytesPerSample == 0;
}

Usable describe(const AudioBuffer& buffer) {
  const std::size_t samples = buffer.mDataByteSize / kBytesPerSample;
  const std::size_t channels = buffer.mNumberChannels == 0 ? 1 : buffer.mNumberChannels;
  return {static_cast<const std::byte*>(buffer.mData), channels, samples / channels};
}

// The sum starts at +0.0 and takes the channels in order, one rounding each,
// then one division: -0.0 inputs give +0.0, as the arithmetic says. Each frame's
// additions stay in order; only separate frames run side by side.
inline float frame_average(const std::byte* samples, std::size_t frame, std::size_t channels,
                           float divisor) {
  float sum = 0.0f;
  for (std::size_t c = 0; c < channels; ++c) sum += load(samples, frame * channels + c);
  return sum / divisor;
}

// Stereo and mono get their own loops so the channel count is a constant the
// vectoriser can see; the arithmetic is the same as frame_average's.
template <class Store>
void for_each_average(const Usable& buffer, std::size_t frames, Store store) {
  const std::byte* samples = buffer.samples;
  if (buffer.channels == 1) {
    for (std::size_t f = 0; f < frames; ++f) store(f, (0.0f + load(samples, f)) / 1.0f);
  } else if (buffer.channels == 2) {
    for (std::size_t f = 0; f < frames; ++f) {
      float sum = 0.0f;
      sum += load(samples, 2 * f);
      sum += load(samples, 2 * f + 1);
      store(f, sum / 2.0f);
    }
  } else {
    const float divisor = static_cast<float>(buffer.channels);
    for (std::size_t f = 0; f < frames; ++f) {
      store(f, frame_average(samples, f, buffer.channels, divisor));
    }
  }
}

bool single_buffer(const AudioBuffer& buffer, std::vector<float>& mono) {
  if (!is_usable(buffer)) return false;
  const Usable usable = describe(buffer);
  mono.resize(usable.frames);
  float* out = mono.data();
  if (usable.channels == 1) {
    std::memcpy(out, usable.samples, usable.frames * kBytesPerSample);
  } else {
    for_each_average(usable, usable.frames, [out](std::size_t f, float value) { out[f] = value; });
  }
  return true;
}

bool several_buffers(const AudioBuffer* buffers, std::uint32_t count, std::vector<float>& mono) {
  std::size_t frames = std::numeric_limits<std::size_t>::max();
  std::uint32_t usable_count = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!is_usable(buffers[i])) continue;
    frames = std::min(frames, describe(buffers[i]).frames);
    ++usable_count;
  }
  if (usable_count == 0) return false;
  mono.assign(frames, 0.0f);  // every element starts at +0.0
  float* out = mono.data();
  for (std::uint32_t i = 0; i < count && frames > 0; ++i) {
    if (!is_usable(buffers[i])) continue;
    for_each_average(describe(buffers[i]), frames,
                     [out](std::size_t f, float value) { out[f] += value; });
  }
  const float divisor = static_cast<float>(usable_count);
  for (float& sample : mono) sample /= divisor;
  return true;
}

}  // namespace

bool copy_mono_f32_input(const AudioBufferList& list, std::vector<float>& mono) {
  // The records follow one another past the declared one-element array.
  const AudioBuffer* buffers = list.mBuffers;
  switch (list.mNumberBuffers) {
    case 0:
      mono.clear();
      return true;
    case 1:
      return single_buffer(buffers[0], mono);
    default:
      return several_buffers(buffers, list.mNumberBuffers, mono);
  }
}

}  // namespace system_audio
