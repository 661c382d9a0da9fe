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

// The frame's two channels, with the receivers kept here.
struct Channels {
  Channels() {
    auto [pcm, pcm_receiver] = make_channel<PcmChunk>();
    auto [status, status_receiver] = make_channel<StatusText>();
    pcm_tx = std::move(pcm);
    status_tx = std::move(status);
    pcm_rx = std::move(pcm_receiver);
    status_rx = std::move(status_receiver);
  }
  PcmSender pcm_tx;
  StatusSender status_tx;
  PcmReceiver pcm_rx;
  StatusReceiver status_rx;
};

struct TapHarness : Channels {
  explicit TapHarness(double rate)
      : state(new TapCallbackState{std::move(pcm_tx),
                                   std::move(status_tx),
                                   {},
                                   LinearResampler(rate),
                                   LowPassFilter(rate),
                                   {}}) {}

  void callback(std::uint32_t channels, const Samples& data) {
    auto list = single_buffer(channels, data);
    process_input_buffers(*state, list.list());
  }

  std::unique_ptr<TapCallbackState> state;
};

struct SckHarness : Channels {
  SckHarness() : output(new SckAudioOutput{std::move(pcm_tx), std::move(status_tx), {}, {}, {}}) {}

  // Runs one list of `buffers` mono buffers and returns the diagnostics it wrote.
  std::string callback(double rate, const Samples& mono, std::size_t buffers = 1) {
    StderrCapture capture;
    BufferList list(buffers);
    for (std::size_t i = 0; i < buffers; ++i) list.set(i, 1, mono);
    process_sck_input(*output, list.list(), rate);
    return capture.text();
  }

  std::unique_ptr<SckAudioOutput> output;
};

}  // namespace system_audio
