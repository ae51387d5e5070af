#include "platform/VisibleText.h"

#include <gtest/gtest.h>

#include <string>

using platform::visibleText;

TEST(VisibleTextTest, TextWithoutControlsComesBackUnchanged) {
  for (const std::string text :
       {"", "Music", "Café — Björk", "日本語", "👩‍👩‍👧 🇫🇷",
        "C:\\path\\e not an escape", "zero\u200bwidth", "\u00a0no-break",
        "\u05e9\u05dc\u05d5\u05dd right-to-left letters"}) {
    EXPECT_EQ(visibleText(text), text);
  }
}

TEST(VisibleTextTest, C0ControlsAndDelShowAsEscapes) {
  EXPECT_EQ(visibleText("\x1b]0;pwned\a\x1b[2J"), "\\e]0;pwned\\a\\e[2J");
  EXPECT_EQ(visibleText("a\bb\tc\nd\ve\ff\rg"), "a\\bb\\tc\\nd\\ve\\ff\\rg");
  EXPECT_EQ(visibleText(std::string("\0\x01\x1f\x7f", 4)), "\\x00\\x01\\x1f\\x7f");
}

TEST(VisibleTextTest, C1ControlsSeparatorsAndBidiControlsShowAsEscapes) {
  // U+009B is the one-character CSI; U+0085 a line break to some programs.
  EXPECT_EQ(visibleText("\u0080\u0085\u009b"
                        "2J\u009f"),
            "\\u0080\\u0085\\u009b2J\\u009f");
  EXPECT_EQ(visibleText("a\u2028b\u2029c"), "a\\u2028b\\u2029c");
  EXPECT_EQ(visibleText("\u202egnp.exe"), "\\u202egnp.exe");
  EXPECT_EQ(visibleText("\u202a\u202b\u202c\u202d\u2066\u2067\u2068\u2069\u200e\u200f\u061c"),
            "\\u202a\\u202b\\u202c\\u202d\\u2066\\u2067\\u2068\\u2069\\u200e\\u200f\\u061c");
}

TEST(VisibleTextTest, BytesThatAreNotUtf8ShowAsHexAndTheRuleIsStable) {
  EXPECT_EQ(visibleText("\x9b"
                        "31m \xff\xc3"),
            "\\x9b31m \\xff\\xc3");
  EXPECT_EQ(visibleText("\xed\xa0\x80"), "\\xed\\xa0\\x80");  // a surrogate
  EXPECT_EQ(visibleText("\xc0\xaf"), "\\xc0\\xaf");           // an overlong '/'
  const std::string hostile = "\x1b[31m\u202e\u0085\xfe\n";
  EXPECT_EQ(visibleText(visibleText(hostile)), visibleText(hostile));
}
