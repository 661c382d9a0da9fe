#pragma once

#include <vector>

namespace system_audio {

// Half of a symmetric low-pass FIR for a source at source_rate, ahead of the
// linear resampler: tones up to 6.5 kHz pass within a fraction of a dB (with
// the interpolation's own droop made up where its phase moves), tones from
// 9 kHz up are held at least 72 dB down. Returns the outer taps from the
// oldest end inwards, then half the centre tap (which meets itself as its own
// mirror), so the filter has 2 × size - 1 taps, size a multiple of 8. Empty
// when there is nothing to do: at 16000 Hz and below, for rates that are not
// finite and for rates beyond about 450 kHz.
std::vector<float> design_low_pass(double source_rate);

// The amplitude of those taps at frequency hz for a source at source_rate.
double low_pass_gain(const std::vector<float>& half, double source_rate, double hz);

}  // namespace system_audio
