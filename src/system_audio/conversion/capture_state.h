#pragma once

#include <atomic>
#include <mutex>
#include <optional>

#include "system_audio/conversion/audio_types.h"
#include "system_audio/conversion/linear_resampler.h"
#include "system_audio/frame/messages.h"

namespace system_audio {

// The coreaudio capture state. Lives on the heap at a fixed address for as long
// as the IOProc can run; the block refers to it by address only.
struct TapCallbackState {
  PcmSender pcm_tx;
  StatusSender status_tx;
  std::mutex resampler_mutex;  // held only around resampler.process
  LinearResampler resampler;
  std::atomic<bool> receiving_reported{false};
};

// The sck form: the resampler is made on the first usable buffer and remade
// whenever the source rate changes.
struct SckAudioOutput {
  PcmSender pcm_tx;
  StatusSender status_tx;
  std::mutex resampler_mutex;  // held only around resampler creation and process
  std::optional<LinearResampler> resampler;
  std::atomic<bool> receiving_reported{false};
};

// Capture callbacks: mixdown, resample, then "receiving" once and one chunk.
// They never block and never fail; a closed channel just drops the data.
void process_input_buffers(TapCallbackState& state, const AudioBufferList& input);
void process_sck_input(SckAudioOutput& state, const AudioBufferList& list, double source_rate);

}  // namespace system_audio
