#include "system_audio/conversion/capture_state.h"

#include <cmath>
#include <limits>

#include "system_audio/conversion/mono_mixdown.h"
#include "system_audio/conversion/pcm_chunk.h"

namespace system_audio {
namespace {

constexpr char kReceiving[] = "receiving";

// Room for an ordinary block, so that the scratch blocks do not grow.
constexpr std::size_t kScratchSamples = 4096;

// A source rate that moves by more than this is a new source and gets a new conversion.
constexpr double kRateTolerance = std::numeric_limits<double>::epsilon();

bool is_new_rate(const std::optional<RateConversion>& conversion, double source_rate) {
  if (!conversion) return true;
  // Compared as the resampler would store it, so that a source below 16000 Hz
  // keeps its conversion (and its pending sample and phase). NaN stays NaN
  // here: the difference is then not greater than the tolerance.
  const double stored = std::isnan(source_rate) ? source_rate : resampler_rate(source_rate);
  return std::fabs(conversion->resampler.source_rate - stored) > kRateTolerance;
}

// Mixes the block down, converts it under the lock (making the conversion anew
// first when source_rate is given and new) and sends what comes out.
void convert(CaptureState& state, const AudioBufferList& block, std::optional<double> source_rate) {
  if (!copy_mono_f32_input(block, state.mono) || state.mono.empty()) return;
  bool made = false;
  state.resampled.clear();
  {
    std::lock_guard lock(state.conversion_mutex);
    if (source_rate && is_new_rate(state.conversion, *source_rate)) {
      state.conversion.emplace(*source_rate);
      made = true;
    }
    if (!state.conversion) return;
    RateConversion& conversion = *state.conversion;
    low_pass(conversion.low_pass, conversion.resampler, state.mono);
    conversion.resampler.process(state.mono, state.resampled);
  }
  if (made && state.new_rate_notice != nullptr) state.new_rate_notice(*source_rate);
  if (state.resampled.empty()) return;
  if (!state.receiving_reported.exchange(true, std::memory_order_relaxed)) {
    (void)state.status_tx.send(StatusText(kReceiving));
  }
  (void)state.pcm_tx.send(encode_pcm_chunk(state.resampled));
}

}  // namespace

CaptureState::CaptureState(PcmSender pcm, StatusSender status)
    : pcm_tx(std::move(pcm)), status_tx(std::move(status)) {
  mono.reserve(kScratchSamples);
  resampled.reserve(kScratchSamples);
}

void process_input_buffers(CaptureState& state, const AudioBufferList& block, double source_rate) {
  convert(state, block, source_rate);
}

void process_input_buffers(CaptureState& state, const AudioBufferList& block) {
  convert(state, block, std::nullopt);
}

void set_source_rate(CaptureState& state, double source_rate) {
  std::optional<RateConversion> made(std::in_place, source_rate);
  std::lock_guard lock(state.conversion_mutex);
  state.conversion.swap(made);
}

}  // namespace system_audio
