// Any f64 through the shortest-decimal printer: plain decimal that reads back to
// the very same value, or the fixed words for NaN and the infinities.
#include "fuzz_target.h"
#include "system_audio/frame/number_text.h"

static bool reads_back(const std::string& text, double value) {
  char* end = nullptr;
  const double back = std::strtod(text.c_str(), &end);
  return *end == '\0' && std::bit_cast<std::uint64_t>(back) == std::bit_cast<std::uint64_t>(value);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  double value;
  if (size != sizeof value) return 0;
  std::memcpy(&value, data, sizeof value);
  const std::string text = system_audio::format_f64(value);
  if (!std::isfinite(value)) {
    FUZZ_CHECK(text == (std::isnan(value) ? "NaN" : value < 0 ? "-inf" : "inf"));
    return 0;
  }
  // Digits and at most a point, after a "-" for a negative sign.
  FUZZ_CHECK(text.find_first_not_of("0123456789.", std::signbit(value)) == std::string::npos);
  FUZZ_CHECK((text[0] == '-') == std::signbit(value) && reads_back(text, value));
  // A fraction part only when there is one, and not a digit longer than needed.
  const std::size_t point = text.find('.');
  FUZZ_CHECK((point == std::string::npos) == (std::trunc(value) == value));
  if (point == std::string::npos) return 0;
  const std::string shorter = text.substr(0, text.size() - (text.size() - 2 == point ? 2 : 1));
  FUZZ_CHECK(!reads_back(shorter, value));
  return 0;
}
