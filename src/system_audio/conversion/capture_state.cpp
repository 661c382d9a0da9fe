#include "system_audio/conversion/capture_state.h"

#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "system_audio/conversion/mono_mixdown.h"
#include "system_audio/conversion/pcm_chunk.h"
#include "system_audio/frame/line_writer.h"
#include "system_audio/frame/number_text.h"

namespace system_audio {
namespace {

constexpr char kReceiving[] = "receiving";

// A source rate that moves by more than this is a new source and gets a fresh resampler.
constexpr double kRateTolerance = std::numeric_limits<double>::epsilon();

// "receiving" once per state, then the chunk. A send fails only when the
// frame's receiver is gone; the capture keeps running and the data is dropped.
void send_output(PcmSender& pcm_tx, StatusSender& status_tx, std::atomic<bool>& receiving_reported,
                 std::span<const float> samples) {
  if (samples.empty()) return;
  if (!receiving_reported.exchange(true, std::memory_order_relaxed)) {
    (void)status_tx.send(StatusText(kReceiving));
  }
  (void)pcm_tx.send(encode_pcm_chunk(samples));
}

}  // namespace

void process_input_buffers(TapCallbackState& state, const AudioBufferList& input) {
  auto mono = copy_mono_f32_input(input);
  if (!mono || mono->empty()) return;
  std::vector<float> out;
  {
    std::lock_guard lock(state.resampler_mutex);
    low_pass(state.low_pass, state.resampler, *mono);
    out = state.resampler.process(*mono);
  }
  send_output(state.pcm_tx, state.status_tx, state.receiving_reported, out);
}

void process_sck_input(SckAudioOutput& state, const AudioBufferList& list, double source_rate) {
  auto mono = copy_mono_f32_input(list);
  if (!mono || mono->empty()) return;
  std::vector<float> out;
  {
    std::lock_guard lock(state.resampler_mutex);
    // Compared as the resampler would store it, so a source below 16000 Hz keeps
    // its resampler (and its pending sample and phase) instead of losing them on
    // every buffer. NaN stays NaN here: the difference is then not greater than
    // the tolerance, and an existing resampler goes on.
    const double wanted = std::isnan(source_rate) ? source_rate : resampler_rate(source_rate);
    if (!state.resampler || std::fabs(state.resampler->source_rate - wanted) > kRateTolerance) {
      write_diagnostic("sck: source format rate=" + format_f64(source_rate));
      state.resampler.emplace(source_rate);
      state.low_pass.emplace(source_rate);
    }
    low_pass(*state.low_pass, *state.resampler, *mono);
    out = state.resampler->process(*mono);
  }
  send_output(state.pcm_tx, state.status_tx, state.receiving_reported, out);
}

}  // namespace system_audio
