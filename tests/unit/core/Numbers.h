// Numbers in tests: read the way the program writes them (C locale, whatever the process locale
// says), and compared with NaN taken as equal to NaN.
#pragma once

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace fxtest {

// The number at the start of `text` ("12.5", "-1", "nan"); NaN when there is none.
inline double number(std::string_view text) {
  while (!text.empty() && text.front() == ' ')
    text.remove_prefix(1);
  double value = std::numeric_limits<double>::quiet_NaN();
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// Within `tolerance` of `expected`, or NaN when `expected` is NaN.
inline void expectNear(double actual, double expected, double tolerance, const char* what = "") {
  if (std::isnan(expected))
    EXPECT_TRUE(std::isnan(actual)) << what << " = " << actual;
  else
    EXPECT_NEAR(actual, expected, tolerance) << what;
}

}  // namespace fxtest
