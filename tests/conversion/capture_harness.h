#pragma once

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "buffer_lists.h"
#include "stderr_capture.h"
#include "system_audio/conversion/capture_state.h"

namespace system_audio {

using Samples = std::vector<float>;
using std::chrono::milliseconds;

inline std::vector<float> samples_of(const PcmChunk& chunk) {
  std::vector<float> samples(chunk.size() / 4);
  std::memcpy(samples.data(), chunk.data(), chunk.size());
  return samples;
}

// What the frame's two receivers hold after the callbacks ran.
template <class T>
std::vector<T> drain(Receiver<T>& receiver) {
  std::vector<T> out;
  for (;;) {
    auto got = receiver.receive_for(milliseconds(0));
    if (got.status != ReceiveStatus::message) return out;
    out.push_back(std::move(*got.message));
  }
}

struct TapHarness {
  explicit TapHarness(double rate) {
    auto [pcm_sender, pcm_receiver] = make_channel<PcmChunk>();
    auto [status_sender, status_receiver] = make_channel<StatusText>();
    pcm_rx = std::move(pcm_receiver);
    status_rx = std::move(status_receiver);
    state = std::unique_ptr<TapCallbackState>(new TapCallbackState{
        std::move(pcm_sender), std::move(status_sender), {}, LinearResampler(rate), {}});
  }

  void callback(std::uint32_t channels, const Samples& data) {
    auto list = single_buffer(channels, data);
    process_input_buffers(*state, list.list());
  }

  PcmReceiver pcm_rx;
  StatusReceiver status_rx;
  std::unique_ptr<TapCallbackState> state;
};

struct SckHarness {
  SckHarness() {
    auto [pcm_sender, pcm_receiver] = make_channel<PcmChunk>();
    auto [status_sender, status_receiver] = make_channel<StatusText>();
    pcm_rx = std::move(pcm_receiver);
    status_rx = std::move(status_receiver);
    output = std::unique_ptr<SckAudioOutput>(
        new SckAudioOutput{std::move(pcm_sender), std::move(status_sender), {}, {}, {}});
  }

  // Runs one buffer and returns the diagnostics it wrote.
  std::string callback(double rate, const Samples& mono) {
    StderrCapture capture;
    auto list = single_buffer(1, mono);
    process_sck_input(*output, list.list(), rate);
    return capture.text();
  }

  PcmReceiver pcm_rx;
  StatusReceiver status_rx;
  std::unique_ptr<SckAudioOutput> output;
};

}  // namespace system_audio
