#pragma once

#include <string>

namespace system_audio {

// Shortest decimal that reads back to the same value, never with an exponent and
// with no fraction part when whole: 16000.0 -> "16000", 44100.5 -> "44100.5".
// Not-a-number is "NaN"; the infinities are "inf" and "-inf".
std::string format_f64(double value);

}  // namespace system_audio
