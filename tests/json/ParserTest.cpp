#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "json/Value.h"

namespace {

namespace fs = std::filesystem;

const fs::path suiteDir =
    fs::path(KESTRUNE_SOURCE_DIR) / ".." / "shared" / "jsontestsuite" / "test_parsing";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs `check` on every suite file whose name starts with `prefix`.
template <class Check>
void forEachSuiteFile(std::string_view prefix, Check check) {
  if (!fs::is_directory(suiteDir)) {
    GTEST_SKIP() << "conformance suite not found at " << suiteDir;
  }
  int count = 0;
  for (const auto& entry : fs::directory_iterator(suiteDir)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(prefix)) {
      SCOPED_TRACE(name);
      check(readFile(entry.path()));
      ++count;
    }
  }
  EXPECT_GT(count, 0);
}

TEST(ParserConformance, AcceptsEveryValidDocument) {
  forEachSuiteFile("y_", [](const std::string& text) { EXPECT_NO_THROW(json::parse(text)); });
}

TEST(ParserConformance, RejectsEveryInvalidDocument) {
  forEachSuiteFile(
      "n_", [](const std::string& text) { EXPECT_THROW(json::parse(text), json::ParseError); });
}

TEST(ParserConformance, ImplementationDefinedDocumentsEitherParseOrFailCleanly) {
  forEachSuiteFile("i_", [](const std::string& text) {
    try {
      json::parse(text);
    } catch (const json::ParseError&) {
    }
  });
}

std::string parseErrorText(std::string_view text) {
  try {
    json::parse(text);
  } catch (const json::ParseError& error) {
    return error.what();
  }
  return "(parsed)";
}

TEST(Parser, ErrorsSayWhatAndWhere) {
  EXPECT_EQ("unexpected character '}' at byte 17", parseErrorText(R"({"success":true,})"));
  EXPECT_EQ("unexpected end of input at byte 2", parseErrorText("["));
  EXPECT_EQ("unexpected character 'x' at byte 7 (line 2, column 3)", parseErrorText("[1,\n  x]"));
  EXPECT_EQ("leading zero in number at byte 2", parseErrorText("[01]"));
  EXPECT_EQ("unescaped control character U+000A in string at byte 3", parseErrorText("[\"\n\"]"));
  EXPECT_EQ("unpaired surrogate in \\u escape at byte 3", parseErrorText(R"(["\uD800"])"));
  EXPECT_EQ("invalid UTF-8 byte 0xC0 at byte 3", parseErrorText("[\"\xC0\xAF\"]"));
  EXPECT_EQ("invalid UTF-8 sequence at byte 3", parseErrorText("[\"\xE2\x28\xA1\"]"));
  EXPECT_EQ("unexpected character ']' at byte 4", parseErrorText("[1]],"));
  EXPECT_EQ("number out of range at byte 2", parseErrorText("[1e400]"));
  EXPECT_EQ("unexpected byte 0x00 at byte 3", parseErrorText(std::string("[1\0]", 4)));
}

TEST(Parser, RejectsBytesThatAreNotUnicodeScalars) {
  EXPECT_THROW(json::parse("\"\xED\xA0\x80\""), json::ParseError);      // UTF-8 encoded surrogate
  EXPECT_THROW(json::parse("\"\xF4\x90\x80\x80\""), json::ParseError);  // above U+10FFFF
  EXPECT_THROW(json::parse("\"\xE0\x80\xAF\""), json::ParseError);      // overlong
  EXPECT_THROW(json::parse("\"\xE2\x82\""), json::ParseError);          // truncated
  EXPECT_THROW(json::parse(R"("\uDC00\uD800")"), json::ParseError);     // pair in wrong order
  EXPECT_THROW(json::parse(R"("\uD800\u0041")"), json::ParseError);
}

TEST(Parser, DecodesEscapesAndUnicode) {
  EXPECT_EQ("a/\"\\\b\f\n\r\t", json::parse(R"("a\/\"\\\b\f\n\r\t")").asString());
  EXPECT_EQ("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5",
            json::parse(R"("\u00e9\u20AC\ud83c\udfb5")").asString());
  EXPECT_EQ("\xF0\x9F\x8E\xB5 caf\xC3\xA9",
            json::parse("\"\xF0\x9F\x8E\xB5 caf\xC3\xA9\"").asString());
  EXPECT_EQ(std::string("a\0b", 3), json::parse(R"("a\u0000b")").asString());
}

TEST(Parser, DeepNestingFailsCleanly) {
  EXPECT_THROW(json::parse(std::string(100000, '[')), json::ParseError);
  EXPECT_THROW(json::parse(std::string(100000, '{')), json::ParseError);
  const std::string atLimit = std::string(json::maxDepth, '[') + std::string(json::maxDepth, ']');
  EXPECT_NO_THROW(json::parse(atLimit));
  const std::string beyond = "[" + atLimit + "]";
  EXPECT_EQ("nesting deeper than 512 levels at byte 513", parseErrorText(beyond));
}

TEST(Parser, KeepsIntegersExactAndTellsThemFromFractions) {
  const json::Value v = json::parse(
      "[42, -9223372036854775808, 9223372036854775807, "
      "9223372036854775808, 3.5, 3.0, 1e2, -0, 1e-400]");
  const json::Array& a = v.asArray();
  EXPECT_TRUE(a[0].isInteger());
  EXPECT_EQ(INT64_MIN, a[1].exactInteger());
  EXPECT_EQ(INT64_MAX, a[2].exactInteger());
  EXPECT_FALSE(a[3].exactInteger());  // one past the range
  EXPECT_DOUBLE_EQ(9223372036854775808.0, a[3].asDouble());
  EXPECT_FALSE(a[4].exactInteger());
  EXPECT_EQ(3, a[5].exactInteger());
  EXPECT_EQ(100, a[6].exactInteger());
  EXPECT_TRUE(std::signbit(a[7].asDouble()));
  EXPECT_EQ(0.0, a[8].asDouble());
}

TEST(Parser, NumbersBeyondTheDoubleRangeFailAndTinyOnesBecomeZero) {
  const std::string zeros(400, '0');
  EXPECT_THROW(json::parse("1" + zeros + "e-10"), json::ParseError);
  EXPECT_THROW(json::parse("-1e309"), json::ParseError);
  EXPECT_EQ(0.0, json::parse("12345e-400").asDouble());
  EXPECT_EQ(0.0, json::parse("0." + zeros + "1").asDouble());
  EXPECT_EQ(1e290, json::parse("1" + zeros.substr(0, 300) + "e-10").asDouble());
}

TEST(Parser, DuplicateKeysKeepTheLastValueAtTheFirstPosition) {
  const json::Value v = json::parse(R"({"a":1,"b":2,"a":3})");
  EXPECT_EQ(R"({"a":3,"b":2})", json::writeCompact(v));

  // Large objects take another path through the merge.
  std::string text = "{";
  for (int i = 0; i < 40; ++i) {
    text += "\"k" + std::to_string(i % 20) + "\":" + std::to_string(i) + (i < 39 ? "," : "}");
  }
  const json::Value big = json::parse(text);
  ASSERT_EQ(20u, big.asObject().size());
  EXPECT_EQ("k0", big.asObject().members()[0].first);
  EXPECT_EQ(20, big.find("k0")->exactInteger());
  EXPECT_EQ(39, big.find("k19")->exactInteger());
}

}  // namespace
