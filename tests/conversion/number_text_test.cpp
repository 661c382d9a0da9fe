#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "system_audio/frame/number_text.h"

namespace system_audio {
namespace {

double read_back(const std::string& text) {
  double value = std::numeric_limits<double>::quiet_NaN();
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  EXPECT_EQ(error, std::errc());
  EXPECT_EQ(end, text.data() + text.size()) << text;
  return value;
}

// Whole rates without a fraction part, fractions as the shortest text that
// reads back, fixed words for what is not a number.
TEST(NumberText, ValuesHaveTheirExactText) {
  constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const std::pair<double, const char*> cases[] = {
      {16000.0, "16000"},   {44100.0, "44100"}, {0.0, "0"},
      {16000.5, "16000.5"}, {0.1, "0.1"},       {44099.999999999993, "44099.99999999999"},
      {-2.5, "-2.5"},       {kNan, "NaN"},      {-kNan, "NaN"},
      {kInf, "inf"},        {-kInf, "-inf"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(format_f64(value), text);
}

TEST(NumberText, HugeAndTinyValuesAreWrittenWithoutExponent) {
  const std::string huge = format_f64(1e300);
  EXPECT_EQ(huge.size(), 301u);
  EXPECT_EQ(huge.find_first_not_of("0123456789"), std::string::npos) << huge;
  EXPECT_EQ(read_back(huge), 1e300);

  const std::string tiny = format_f64(5e-324);
  EXPECT_EQ(tiny.rfind("0.000", 0), 0u);
  EXPECT_EQ(tiny.find_first_of("eE"), std::string::npos);
  EXPECT_EQ(read_back(tiny), 5e-324);

  const std::string largest = format_f64(std::numeric_limits<double>::max());
  EXPECT_EQ(largest.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(read_back(largest), std::numeric_limits<double>::max());
}

// Negative zero keeps its sign, so the text still reads back to the same value.
TEST(NumberText, NegativeZeroKeepsItsSign) {
  const std::string text = format_f64(-0.0);
  EXPECT_EQ(text, "-0");
  EXPECT_TRUE(std::signbit(read_back(text)));
}

}  // namespace
}  // namespace system_audio
