#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "ArgumentParser/ExpressibleByArgument.h"
#include "TestCommands.h"

namespace argparse {
namespace {

std::optional<double> parseDouble(std::string_view text) {
  return ExpressibleByArgument<double>::fromArgument(text);
}

TEST(DoubleArgument, AcceptsWhatStrtodAcceptsForTheWholeText) {
  EXPECT_EQ(parseDouble("40"), 40.0);
  EXPECT_EQ(parseDouble("-5"), -5.0);
  EXPECT_EQ(parseDouble("42.5"), 42.5);
  EXPECT_EQ(parseDouble("1e3"), 1000.0);
  EXPECT_EQ(parseDouble("0x1p4"), 16.0);
  EXPECT_EQ(parseDouble("inf"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(parseDouble("-infinity"), -std::numeric_limits<double>::infinity());
  ASSERT_TRUE(parseDouble("nan").has_value());
  EXPECT_TRUE(std::isnan(*parseDouble("nan")));
}

TEST(DoubleArgument, RejectsGarbageAndSurroundingSpace) {
  EXPECT_FALSE(parseDouble(""));
  EXPECT_FALSE(parseDouble("abc"));
  EXPECT_FALSE(parseDouble("40%"));
  EXPECT_FALSE(parseDouble("4 0"));
  EXPECT_FALSE(parseDouble(" 40"));
  EXPECT_FALSE(parseDouble("40 "));
}

TEST(DoubleArgument, DefaultTextKeepsOneFractionalDigitForWholeValues) {
  EXPECT_EQ(ExpressibleByArgument<double>::defaultValueDescription(15), "15.0");
  EXPECT_EQ(ExpressibleByArgument<double>::defaultValueDescription(-3), "-3.0");
  EXPECT_EQ(ExpressibleByArgument<double>::defaultValueDescription(0.1), "0.1");
  EXPECT_EQ(ExpressibleByArgument<double>::defaultValueDescription(2.5), "2.5");
  EXPECT_EQ(ExpressibleByArgument<double>::defaultValueDescription(1e20), "1e+20");
}

TEST(IntegerArgument, AcceptsSignsAndRejectsOverflowAndFractions) {
  EXPECT_EQ(ExpressibleByArgument<int>::fromArgument("+5"), 5);
  EXPECT_EQ(ExpressibleByArgument<int>::fromArgument("-5"), -5);
  EXPECT_FALSE(ExpressibleByArgument<int>::fromArgument("5.0"));
  EXPECT_FALSE(ExpressibleByArgument<int>::fromArgument("+-5"));
  EXPECT_FALSE(ExpressibleByArgument<int>::fromArgument("99999999999"));
  EXPECT_FALSE(ExpressibleByArgument<std::uint8_t>::fromArgument("256"));
  EXPECT_FALSE(ExpressibleByArgument<unsigned>::fromArgument("-1"));
  EXPECT_EQ(ExpressibleByArgument<std::int64_t>::fromArgument("-9223372036854775808"),
            std::numeric_limits<std::int64_t>::min());
}

TEST(BoolAndStringArguments, TakeTheirExactTexts) {
  EXPECT_EQ(ExpressibleByArgument<bool>::fromArgument("true"), true);
  EXPECT_EQ(ExpressibleByArgument<bool>::fromArgument("false"), false);
  EXPECT_FALSE(ExpressibleByArgument<bool>::fromArgument("yes"));
  EXPECT_EQ(ExpressibleByArgument<std::string>::fromArgument(""), "");
}

TEST(EnumerationArgument, MatchesItsStringsExactlyAndListsThem) {
  using testtool::Side;
  EXPECT_EQ(ExpressibleByArgument<Side>::fromArgument("left"), Side::left);
  EXPECT_FALSE(ExpressibleByArgument<Side>::fromArgument("Left"));
  EXPECT_EQ(ExpressibleByArgument<Side>::defaultValueDescription(Side::right), "right");
  EXPECT_EQ(allValueStrings<Side>(), (std::vector<std::string>{"left", "right"}));
  EXPECT_EQ(defaultCompletionKind<Side>().kind(), CompletionKind::Kind::list);
  EXPECT_TRUE(defaultCompletionKind<double>().isDefault());
}

}  // namespace
}  // namespace argparse
