#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

#include "system_audio/apple/core_audio_types.h"
#include "system_audio/conversion/linear_resampler.h"
#include "system_audio/conversion/low_pass_filter.h"
#include "system_audio/frame/messages.h"

namespace system_audio {

// The band limit and the resampler made for one source rate.
struct RateConversion {
  LinearResampler resampler;
  LowPassFilter low_pass;

  explicit RateConversion(double source_rate) : resampler(source_rate), low_pass(source_rate) {}
};

// Told that the conversion was made anew for a source rate, before any chunk
// of that rate leaves: the backend's own diagnostic, if it has one.
using NewRateNotice = void (*)(double source_rate);

// What one capture converts its blocks with and sends them from, whatever the
// backend. It is fed one block at a time, as the platform's serial queue calls
// a capture callback: the scratch blocks are reused from call to call, so a
// block costs one allocation, the chunk that leaves.
struct CaptureState {
  PcmSender pcm_tx;
  StatusSender status_tx;
  NewRateNotice new_rate_notice = nullptr;
  std::atomic<bool> receiving_reported{false};
  std::vector<float> mono;                   // the block mixed down, then filtered in place
  std::vector<float> resampled;              // the block at 16000 Hz
  std::mutex conversion_mutex;               // held only around making and running the conversion
  std::optional<RateConversion> conversion;  // none until a rate is known

  CaptureState(PcmSender pcm, StatusSender status);
};

// One block as delivered: mixed down, converted from source_rate (made anew
// when that differs from the conversion's rate by more than the f64 epsilon,
// compared as the resampler stores it; NaN never differs), then "receiving"
// the first time, and one chunk when samples came out. Never blocks and never
// fails: a closed channel drops the data.
void process_input_buffers(CaptureState& state, const AudioBufferList& block, double source_rate);

// For a source whose rate is told apart from its blocks: converts with the
// conversion in place, never making one on the audio path. No conversion in
// place converts nothing.
void process_input_buffers(CaptureState& state, const AudioBufferList& block);

// A conversion for source_rate, made before the lock and put in place under
// it (the old one's pending samples go with it). Not for the audio path: the
// design allocates.
void set_source_rate(CaptureState& state, double source_rate);

}  // namespace system_audio
