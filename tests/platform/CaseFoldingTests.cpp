// Names compared as people read them, in every script the folding table
// covers, and byte for byte where the text is not UTF-8.

#include "platform/CaseFolding.h"

#include <gtest/gtest.h>

namespace {

using platform::equalsFoldingCase;
using platform::foldCase;
using platform::foldCodePoint;

TEST(CaseFolding, LettersOfEveryCoveredScriptFoldToTheirSmallForm) {
  EXPECT_EQ(foldCodePoint(U'A'), U'a');
  EXPECT_EQ(foldCodePoint(U'\u00DC'), U'\u00FC');  // Ü
  EXPECT_EQ(foldCodePoint(U'\u0178'), U'\u00FF');  // Ÿ, outside its block
  EXPECT_EQ(foldCodePoint(U'\u0139'), U'\u013A');  // Ĺ: pairs that start on an odd code point
  EXPECT_EQ(foldCodePoint(U'\u01C4'), U'\u01C6');  // Ǆ and its title case ǅ
  EXPECT_EQ(foldCodePoint(U'\u01C5'), U'\u01C6');
  EXPECT_EQ(foldCodePoint(U'\u03A3'), U'\u03C3');  // Σ
  EXPECT_EQ(foldCodePoint(U'\u03C2'), U'\u03C3');  // final ς
  EXPECT_EQ(foldCodePoint(U'\u0401'), U'\u0451');  // Ё
  EXPECT_EQ(foldCodePoint(U'\u0416'), U'\u0436');  // Ж
  EXPECT_EQ(foldCodePoint(U'\u0531'), U'\u0561');  // Armenian Ա
  EXPECT_EQ(foldCodePoint(U'\uFF21'), U'\uFF41');  // fullwidth Ａ
  EXPECT_EQ(foldCodePoint(U'\u212A'), U'k');       // the Kelvin sign
  EXPECT_EQ(foldCodePoint(U'\u00B5'), U'\u03BC');  // micro sign to mu
  // Small letters, and letters whose folding is more than one code point
  // (ß to "ss"), are themselves.
  EXPECT_EQ(foldCodePoint(U'\u00FC'), U'\u00FC');
  EXPECT_EQ(foldCodePoint(U'\u00DF'), U'\u00DF');
  EXPECT_EQ(foldCodePoint(U'\u0130'), U'\u0130');
  EXPECT_EQ(foldCodePoint(U'\u0100' + 1), U'\u0101');
  EXPECT_EQ(foldCodePoint(U'\u4E2D'), U'\u4E2D');
}

TEST(CaseFolding, TextsCompareEqualInAnyCaseAndInvalidBytesCompareExactly) {
  EXPECT_TRUE(
      equalsFoldingCase("\xC3\x9Cn\xC3\xAF"
                        "code \"Q\"",
                        "\xC3\xBCn\xC3\xAF"
                        "code \"q\""));
  EXPECT_TRUE(
      equalsFoldingCase("\xCE\xA3\xCE\x91\xCE\xA3", "\xCF\x83\xCE\xB1\xCF\x82"));  // ΣΑΣ σας
  EXPECT_TRUE(
      equalsFoldingCase("\xEF\xBC\xA1\xEF\xBC\xA2", "\xEF\xBD\x81\xEF\xBD\x82"));  // ＡＢ ａｂ
  EXPECT_FALSE(
      equalsFoldingCase("Stra\xC3\x9F"
                        "e",
                        "strasse"));  // simple folding only
  EXPECT_FALSE(equalsFoldingCase("\xC3\xA9", "e"));
  EXPECT_FALSE(equalsFoldingCase("abc", "abcd"));

  // Lone, truncated, overlong and surrogate sequences stay as they are.
  EXPECT_EQ(foldCase("A\xC3"), "a\xC3");
  EXPECT_EQ(foldCase("\xC3"
                     "A"),
            "\xC3"
            "a");
  EXPECT_EQ(foldCase("\xC0\x81"), "\xC0\x81");
  EXPECT_EQ(foldCase("\xED\xA0\x80Z"), "\xED\xA0\x80z");
  EXPECT_EQ(foldCase("\xF4\x90\x80\x80"), "\xF4\x90\x80\x80");
  EXPECT_TRUE(
      equalsFoldingCase("\xFF"
                        "A",
                        "\xFF"
                        "a"));
  EXPECT_FALSE(equalsFoldingCase("\xFF", "\xFE"));
  // A four-byte letter folds too (Deseret, 𐐀 to 𐐨).
  EXPECT_EQ(foldCase("\xF0\x90\x90\x80"), "\xF0\x90\x90\xA8");
}

}  // namespace
