#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "received.h"
#include "system_audio/conversion/capture_state.h"

namespace system_audio {

using Samples = std::vector<float>;

// Floats compared by their bits: -0.0 differs from +0.0 and NaN payloads count.
inline std::vector<std::uint32_t> bits_of(std::span<const float> samples) {
  std::vector<std::uint32_t> bits;
  for (float sample : samples) bits.push_back(std::bit_cast<std::uint32_t>(sample));
  return bits;
}

// An AudioBufferList of buffers (channels, samples) laid out as the platform
// lays it out: the records follow one another past the one-element array.
struct BufferList {
  BufferList(std::vector<std::pair<std::uint32_t, Samples>> buffers)
      : data(std::move(buffers)),
        storage(new std::byte[sizeof(AudioBufferList) + sizeof(AudioBuffer) * data.size()]()) {
    list().mNumberBuffers = std::uint32_t(data.size());
    AudioBuffer* records = list().mBuffers;
    for (auto& [channels, samples] : data) {
      *records++ = {channels, std::uint32_t(samples.size() * 4), samples.data()};
    }
  }
  AudioBufferList& list() { return *reinterpret_cast<AudioBufferList*>(storage.get()); }
  std::vector<std::pair<std::uint32_t, Samples>> data;
  std::unique_ptr<std::byte[]> storage;
};

// A capture state, with the frame's receivers kept here; its conversion made
// for `rate` when one is given.
struct Capture {
  explicit Capture(std::optional<double> rate = std::nullopt) {
    auto [pcm, pcm_receiver] = make_channel<PcmChunk>();
    auto [status, status_receiver] = make_channel<StatusText>();
    pcm_rx = std::move(pcm_receiver);
    status_rx = std::move(status_receiver);
    state = std::make_unique<CaptureState>(std::move(pcm), std::move(status));
    if (rate) state->conversion.emplace(*rate);
  }
  std::vector<std::string> statuses() { return received_statuses(status_rx); }
  Samples samples(std::size_t* chunks = nullptr) { return received_samples(pcm_rx, chunks); }
  PcmReceiver pcm_rx;
  StatusReceiver status_rx;
  std::unique_ptr<CaptureState> state;
};

}  // namespace system_audio
