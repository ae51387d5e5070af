#include "app/Characters.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

TEST(CharacterCountTest, CountsAsciiAndAccentedLettersOncePerLetter) {
  EXPECT_EQ(characterCount(""), 0u);
  EXPECT_EQ(characterCount("NAME"), 4u);
  EXPECT_EQ(characterCount("Caf\u00e9"), 4u);   // precomposed é
  EXPECT_EQ(characterCount("Cafe\u0301"), 4u);  // e + combining acute
  EXPECT_EQ(characterCount("Zoe\u0308\u0323"), 3u);
  EXPECT_EQ(characterCount("\u2014\u2713\u2500"), 3u);
}

TEST(CharacterCountTest, CountsEmojiSequencesAsOneCharacter) {
  EXPECT_EQ(characterCount("\U0001F44D\U0001F3FD"), 1u);  // thumbs up, skin tone
  EXPECT_EQ(characterCount("\U0001F469\u200D\U0001F469\u200D\U0001F467"), 1u);  // family
  EXPECT_EQ(characterCount("\u2764\uFE0F"), 1u);                                // red heart
  EXPECT_EQ(characterCount("1\uFE0F\u20E3"), 1u);                               // keycap one
  EXPECT_EQ(characterCount("\U0001F3F3\uFE0F\u200D\U0001F308"), 1u);            // rainbow flag
  EXPECT_EQ(characterCount("a\U0001F469\u200D\U0001F469b"), 3u);
}

TEST(CharacterCountTest, PairsRegionalIndicatorsIntoFlags) {
  EXPECT_EQ(characterCount("\U0001F1EB\U0001F1F7"), 1u);                      // FR
  EXPECT_EQ(characterCount("\U0001F1EB\U0001F1F7\U0001F1E9\U0001F1EA"), 2u);  // FR DE
  EXPECT_EQ(characterCount("\U0001F1EB\U0001F1F7\U0001F1E9"), 2u);            // odd one
  EXPECT_EQ(characterCount("Zo\u00eb \U0001F1EB\U0001F1F7"), 5u);
}

TEST(CharacterCountTest, JoinsHangulJamoAndKeepsSyllablesApart) {
  EXPECT_EQ(characterCount("\uD55C\uAD6D"), 2u);        // two precomposed syllables
  EXPECT_EQ(characterCount("\u1100\u1161\u11A8"), 1u);  // L V T
}

TEST(CharacterCountTest, TreatsControlsAndMalformedBytesAsSingleCharacters) {
  EXPECT_EQ(characterCount("\r\n"), 1u);
  EXPECT_EQ(characterCount("a\n\u0301"), 3u);     // no mark attaches to a line feed
  EXPECT_EQ(characterCount("\xff\xfe"), 2u);      // invalid lead bytes
  EXPECT_EQ(characterCount("\xe2\x9c"), 2u);      // truncated sequence
  EXPECT_EQ(characterCount("\xc0\xaf"), 2u);      // overlong
  EXPECT_EQ(characterCount("\xed\xa0\x80"), 3u);  // encoded surrogate
}

TEST(CharacterPrefixTest, CutsAtCharacterBoundaries) {
  EXPECT_EQ(characterPrefix("123456", 5), "12345");
  EXPECT_EQ(characterPrefix("123", 5), "123");
  EXPECT_EQ(characterPrefix("e\u0301x", 1), "e\u0301");
  EXPECT_EQ(characterPrefix("\U0001F1EB\U0001F1F7!", 1), "\U0001F1EB\U0001F1F7");
  EXPECT_EQ(characterPrefix("abc", 0), "");
}

}  // namespace
}  // namespace kestrune
