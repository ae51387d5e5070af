// Inputs that once came out wrong, kept so that they stay right.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "json/Errors.h"
#include "json/Value.h"

namespace {

std::string zeros(std::size_t count) {
  return std::string(count, '0');
}

std::string parseFailure(const std::string& text) {
  try {
    json::parse(text);
  } catch (const json::ParseError& error) {
    return error.reason();
  }
  return "(parsed)";
}

}  // namespace

// A long mantissa with a small negative exponent is still far beyond the
// largest double: it must be refused, not read as zero.
TEST(JSONNumberRegression, LongMantissaWithNegativeExponentOverflows) {
  EXPECT_EQ(parseFailure("1" + zeros(400) + "e-10"), "number out of range");
  EXPECT_EQ(parseFailure("-1" + zeros(400) + ".5e-10"), "number out of range");
  EXPECT_EQ(parseFailure("1" + zeros(400) + "e-100000000000000000000"), "(parsed)");
}

TEST(JSONNumberRegression, TinyNumbersStillRoundToZero) {
  EXPECT_EQ(json::parse("1e-400").asDouble(), 0.0);
  EXPECT_EQ(json::parse("0.000001e-400").asDouble(), 0.0);
  EXPECT_TRUE(std::signbit(json::parse("-12345e-400").asDouble()));
  // Just inside the range on both sides.
  EXPECT_EQ(json::parse("1" + zeros(300) + "e-10").asDouble(), 1e290);
  EXPECT_EQ(json::parse("0." + zeros(10) + "1e-290").asDouble(), 1e-301);
}
