#pragma once

#include <atomic>
#include <mutex>
#include <optional>

#include "system_audio/conversion/audio_types.h"
#include "system_audio/conversion/linear_resampler.h"
#include "system_audio/conversion/low_pass_filter.h"
#include "system_audio/frame/messages.h"

namespace system_audio {

// The coreaudio capture state. Lives on the heap at a fixed address for as long
// as the IOProc can run; the block refers to it by address only.
struct TapCallbackState {
  PcmSender pcm_tx;
  StatusSender status_tx;
  std::mutex resampler_mutex;  // held only around the low pass and resampler.process
  LinearResampler resampler;
  LowPassFilter low_pass;  // made for the resampler's rate
  std::atomic<bool> receiving_reported{false};
};

// The sck form: the resampler and its low pass are made on the first usable
// buffer and remade whenever the source rate changes.
struct SckAudioOutput {
  PcmSender pcm_tx;
  StatusSender status_tx;
  std::mutex resampler_mutex;  // held only around their creation, the low pass and process
  std::optional<LinearResampler> resampler;
  std::optional<LowPassFilter> low_pass;
  std::atomic<bool> receiving_reported{false};
};

// Capture callbacks: mixdown, low pass, resample, then "receiving" once and one chunk.
// They never block and never fail; a closed channel just drops the data.
void process_input_buffers(TapCallbackState& state, const AudioBufferList& input);
void process_sck_input(SckAudioOutput& state, const AudioBufferList& list, double source_rate);

}  // namespace system_audio
