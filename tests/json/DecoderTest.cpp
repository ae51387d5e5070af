#include <gtest/gtest.h>

#include "json/Decoder.h"

namespace {

using Kind = json::DecodingError::Kind;

struct Point {
  double x = 0;
  double y = 0;
};

}  // namespace

template <>
struct json::Decodable<Point> {
  static Point decode(const json::Decoder& d) {
    const json::KeyedDecoder k = d.keyed("Point");
    return {k.decode<double>("x"), k.decode<double>("y")};
  }
};

namespace {

// Runs `decode` and returns the error it throws.
template <class F>
json::DecodingError decodingError(F decode) {
  try {
    decode();
  } catch (const json::DecodingError& error) {
    return error;
  }
  ADD_FAILURE() << "expected a DecodingError";
  return json::DecodingError(Kind::dataCorrupted, {}, "none");
}

TEST(Decoder, ReadsTypedMembersAndOptionals) {
  const json::Value v = json::parse(
      R"({"b":true,"i":7,"d":2,"s":"x","n":null,"list":[{"x":1,"y":2.5}],"o":{"k":"v"}})");
  const json::KeyedDecoder k = json::Decoder(v).keyed();
  EXPECT_TRUE(k.decode<bool>("b"));
  EXPECT_EQ(7, k.decode<std::int64_t>("i"));
  EXPECT_EQ(2.0, k.decode<double>("d"));  // a Double accepts an integer
  EXPECT_EQ("x", k.decode<std::string>("s"));
  EXPECT_EQ(std::nullopt, k.decodeIfPresent<std::string>("n"));
  EXPECT_EQ(std::nullopt, k.decodeIfPresent<std::string>("missing"));
  EXPECT_EQ("v", k.nested("o").decode<std::string>("k"));
  const auto points = k.decode<std::vector<Point>>("list");
  ASSERT_EQ(1u, points.size());
  EXPECT_EQ(2.5, points[0].y);
  EXPECT_EQ((std::vector<std::string_view>{"b", "i", "d", "s", "n", "list", "o"}), k.allKeys());
}

TEST(Decoder, ErrorsNameTheExpectedTypeAndThePath) {
  const json::Value v =
      json::parse(R"({"data":{"devices":[{"uid":"a"},{"uid":5}]},"success":"yes","n":3.5})");
  const json::KeyedDecoder top = json::Decoder(v).keyed();

  const auto mismatch = decodingError([&] { top.decode<bool>("success"); });
  EXPECT_EQ(Kind::typeMismatch, mismatch.kind());
  EXPECT_EQ("Expected to decode Bool but found a string at (root).success", mismatch.description());

  const auto deep = decodingError(
      [&] { top.nested("data").nestedArray("devices").nested(1).decode<std::string>("uid"); });
  EXPECT_EQ("Expected to decode String but found a number at (root).data.devices[1].uid",
            deep.description());
  ASSERT_EQ(4u, deep.codingPath().size());
  EXPECT_EQ(std::optional<std::size_t>(1), deep.codingPath()[2].intValue);

  const auto missing = decodingError([&] { top.nested("data").decode<bool>("percent"); });
  EXPECT_EQ(Kind::keyNotFound, missing.kind());
  EXPECT_EQ("No value for key \"percent\" at (root).data", missing.description());
  EXPECT_EQ("No value for key \"percent\"", missing.debugDescription());

  const auto wrongContainer = decodingError([&] { top.nested("success", "CLIDeviceInfo"); });
  EXPECT_EQ("Expected to decode CLIDeviceInfo but found a string at (root).success",
            wrongContainer.description());

  const auto nullValue = decodingError([&] { json::Decoder(json::Value()).keyed("CLICommand"); });
  EXPECT_EQ("Expected to decode CLICommand but found null at (root)", nullValue.description());
  EXPECT_STREQ(nullValue.description().c_str(), nullValue.what());
}

TEST(Decoder, IntegersRejectFractionsAndValuesOutOfRange) {
  const json::Value v = json::parse(
      R"({"half":3.5,"big":9223372036854775808,"huge":1e20,"whole":3.0,"min":-9223372036854775808})");
  const json::KeyedDecoder k = json::Decoder(v).keyed();
  const auto half = decodingError([&] { k.decode<std::int64_t>("half"); });
  EXPECT_EQ(Kind::dataCorrupted, half.kind());
  EXPECT_EQ("Parsed JSON number <3.5> does not fit in Int. at (root).half", half.description());
  EXPECT_EQ(Kind::dataCorrupted, decodingError([&] { k.decode<std::int64_t>("big"); }).kind());
  EXPECT_EQ(Kind::dataCorrupted, decodingError([&] { k.decode<std::int64_t>("huge"); }).kind());
  EXPECT_EQ(Kind::dataCorrupted, decodingError([&] { k.decode<int>("min"); }).kind());
  EXPECT_EQ(3, k.decode<std::int64_t>("whole"));
  EXPECT_EQ(INT64_MIN, k.decode<std::int64_t>("min"));
  EXPECT_EQ(3.5, k.decode<double>("half"));
}

TEST(Decoder, ParseErrorsBecomeCorruptedData) {
  try {
    json::parse(R"({"success":true,})");
    FAIL();
  } catch (const json::ParseError& parseError) {
    const auto error = json::DecodingError::fromParseError(parseError);
    EXPECT_EQ(Kind::dataCorrupted, error.kind());
    EXPECT_EQ("The data is not valid JSON: unexpected character '}' at byte 17",
              error.description());
  }
}

}  // namespace
