#include "system_audio/frame/number_text.h"

#include <charconv>
#include <cmath>

namespace system_audio {

std::string format_f64(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  // Fixed notation of the smallest subnormal is "0." and 323 zeros before its
  // digits; the largest finite value has 309 digits. 400 holds either with a sign.
  char text[400];
  // Without a precision, to_chars gives the shortest text that reads back to the
  // same value; fixed keeps it free of exponents and "1e+300" becomes all digits.
  const auto [end, error] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  (void)error;  // cannot fail: the buffer holds the longest fixed form
  return std::string(text, end);
}

}  // namespace system_audio
