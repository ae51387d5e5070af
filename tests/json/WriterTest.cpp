#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "json/Value.h"

namespace {

using json::Array;
using json::ObjectBuilder;
using json::Value;

TEST(Writer, CompactKeepsMemberOrderAndAddsNoWhiteSpace) {
  const Value v =
      ObjectBuilder()
          .add("success", true)
          .add("data",
               ObjectBuilder().add("volume", ObjectBuilder().add("_0", 42.0).build()).build())
          .add("list", Array{1, "two", nullptr, false, Array{}, json::Object{}})
          .build();
  EXPECT_EQ(R"({"success":true,"data":{"volume":{"_0":42}},"list":[1,"two",null,false,[],{}]})",
            json::writeCompact(v));
}

TEST(Writer, PrettySortsKeysAndIndentsByTwo) {
  const Value v =
      ObjectBuilder()
          .add("success", true)
          .add("data", ObjectBuilder().add("b", Array{1, 2.5}).add("a", Array{}).build())
          .add("message", json::Object{})
          .add("Zed", "x")
          .build();
  EXPECT_EQ(
      "{\n"
      "  \"Zed\" : \"x\",\n"
      "  \"data\" : {\n"
      "    \"a\" : [],\n"
      "    \"b\" : [\n"
      "      1,\n"
      "      2.5\n"
      "    ]\n"
      "  },\n"
      "  \"message\" : {},\n"
      "  \"success\" : true\n"
      "}",
      json::writePretty(v));
  EXPECT_EQ("[]", json::writePretty(Array{}));
  EXPECT_EQ("\"a\"", json::writePretty("a"));
}

TEST(Writer, NumberForms) {
  EXPECT_EQ("50", json::numberText(50.0));
  EXPECT_EQ("0.1", json::numberText(0.1));
  EXPECT_EQ("1e-07", json::numberText(1e-7));
  EXPECT_EQ("-0", json::numberText(-0.0));
  EXPECT_EQ("100000000000000000000", json::numberText(1e20));
  EXPECT_EQ("-2.5", json::numberText(-2.5));
  EXPECT_EQ("0.30000000000000004", json::numberText(0.1 + 0.2));
  EXPECT_EQ("1" + std::string(300, '0'), json::numberText(1e300));
  EXPECT_EQ("[9223372036854775807,-9223372036854775808,3]",
            json::writeCompact(Array{INT64_MAX, INT64_MIN, 3}));
}

TEST(Writer, NumbersReadBackToTheSameDouble) {
  for (double d : {0.1, 1e-7, 5e-324, 1.7976931348623157e308, 123456.789, 1e20, 1e300, -0.0,
                   2.2250738585072014e-308, 4503599627370497.0}) {
    SCOPED_TRACE(d);
    const Value back = json::parse(json::numberText(d));
    EXPECT_EQ(d, back.asDouble());
    EXPECT_EQ(std::signbit(d), std::signbit(back.asDouble()));
  }
}

TEST(Writer, EscapesLikeThePlatformEncoder) {
  EXPECT_EQ("\"a\\/b \\\"q\\\" \\\\ \\b\\f\\n\\r\\t \\u0001\\u001f \x7f\"",
            json::writeCompact("a/b \"q\" \\ \b\f\n\r\t \x01\x1f \x7f"));
  EXPECT_EQ("\"caf\xC3\xA9 \xF0\x9F\x8E\xB5\"", json::writeCompact("caf\xC3\xA9 \xF0\x9F\x8E\xB5"));
  EXPECT_EQ(R"("\u0000")", json::writeCompact(std::string(1, '\0')));
}

TEST(Writer, ReplacesBytesThatAreNotUTF8) {
  EXPECT_EQ(
      "\"a\xEF\xBF\xBD"
      "b\"",
      json::writeCompact("a\xFF"
                         "b"));
  EXPECT_EQ("\"\xEF\xBF\xBD\"", json::writeCompact("\xE2\x82"));
}

TEST(Writer, NonFiniteNumbersAreRefusedWithTheirPath) {
  const Value v = ObjectBuilder()
                      .add("data", ObjectBuilder().add("list", Array{1.0, std::nan("")}).build())
                      .build();
  try {
    (void)json::writeCompact(v);
    FAIL() << "expected an EncodingError";
  } catch (const json::EncodingError& error) {
    EXPECT_EQ("Unable to encode the number nan in JSON at (root).data.list[1]",
              std::string(error.what()));
  }
  EXPECT_THROW(json::writePretty(std::numeric_limits<double>::infinity()), json::EncodingError);
  EXPECT_THROW(json::numberText(-std::numeric_limits<double>::infinity()), json::EncodingError);
}

TEST(Writer, CompactRoundTripsThroughTheParser) {
  const std::string text =
      R"({"z":[1,-2.5,"s\/\"",true,null,{"":{}}],"a":{"nested":[[],[{}]]},"n":-9223372036854775808})";
  EXPECT_EQ(text, json::writeCompact(json::parse(text)));
}

}  // namespace
