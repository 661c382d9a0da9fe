#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "system_audio/conversion/audio_types.h"

// An AudioBufferList with any number of records, laid out as the platform lays
// it out: the records follow one another past the declared one-element array.
class BufferList {
 public:
  explicit BufferList(std::size_t count)
      : storage_(new std::byte[offsetof(AudioBufferList, mBuffers) +
                               sizeof(AudioBuffer) * (count == 0 ? 1 : count)]()) {
    list().mNumberBuffers = static_cast<std::uint32_t>(count);
  }

  AudioBufferList& list() { return *reinterpret_cast<AudioBufferList*>(storage_.get()); }

  AudioBuffer& buffer(std::size_t index) {
    AudioBuffer* records = list().mBuffers;
    return records[index];
  }

  // Points record `index` at samples (interleaved with `channels` channels).
  void set(std::size_t index, std::uint32_t channels, std::span<const float> samples) {
    buffer(index) = {channels, static_cast<std::uint32_t>(samples.size_bytes()),
                     const_cast<float*>(samples.data())};
  }

 private:
  std::unique_ptr<std::byte[]> storage_;
};

inline BufferList single_buffer(std::uint32_t channels, std::span<const float> samples) {
  BufferList list(1);
  list.set(0, channels, samples);
  return list;
}
