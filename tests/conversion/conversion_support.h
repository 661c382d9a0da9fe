#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "system_audio/conversion/capture_state.h"

namespace system_audio {

using Samples = std::vector<float>;

// Floats compared by their bits: -0.0 differs from +0.0 and NaN payloads count.
inline std::vector<std::uint32_t> bits_of(std::span<const float> samples) {
  std::vector<std::uint32_t> bits;
  for (float sample : samples) bits.push_back(std::bit_cast<std::uint32_t>(sample));
  return bits;
}

// An AudioBufferList with any number of records, laid out as the platform lays
// it out: the records follow one another past the declared one-element array.
struct BufferList {
  explicit BufferList(std::size_t count)
      : storage(new std::byte[sizeof(AudioBufferList) + sizeof(AudioBuffer) * count]()) {
    list().mNumberBuffers = std::uint32_t(count);
  }
  AudioBufferList& list() { return *reinterpret_cast<AudioBufferList*>(storage.get()); }
  // Record i points at samples (interleaved with `channels` channels).
  BufferList& set(std::size_t i, std::uint32_t channels, std::span<const float> samples) {
    AudioBuffer* records = list().mBuffers;
    records[i] = {channels, std::uint32_t(samples.size_bytes()),
                  const_cast<float*>(samples.data())};
    return *this;
  }
  std::unique_ptr<std::byte[]> storage;
};

// Everything queued on a receiver now.
template <class T>
std::vector<T> drain(Receiver<T>& receiver) {
  std::vector<T> out;
  for (auto got = receiver.receive_for({}); got.status == ReceiveStatus::message;
       got = receiver.receive_for({})) {
    out.push_back(std::move(*got.message));
  }
  return out;
}

// The samples of all chunks, joined.
inline Samples joined(const std::vector<PcmChunk>& chunks) {
  Samples out;
  for (const auto& chunk : chunks) {
    out.resize(out.size() + chunk.size() / 4);
    std::memcpy(out.data() + out.size() - chunk.size() / 4, chunk.data(), chunk.size());
  }
  return out;
}

// A capture state of either form with the frame's receivers kept here.
template <class State>
struct Capture {
  explicit Capture(double tap_rate = 0) {
    auto [pcm, pcm_receiver] = make_channel<PcmChunk>();
    auto [status, status_receiver] = make_channel<StatusText>();
    pcm_rx = std::move(pcm_receiver);
    status_rx = std::move(status_receiver);
    if constexpr (std::is_same_v<State, TapCallbackState>) {
      state.reset(new State{std::move(pcm), std::move(status), {}, LinearResampler(tap_rate), {}});
    } else {
      state.reset(new State{std::move(pcm), std::move(status), {}, {}, {}});
    }
  }
  PcmReceiver pcm_rx;
  StatusReceiver status_rx;
  std::unique_ptr<State> state;
};

}  // namespace system_audio
