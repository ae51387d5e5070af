#include "ArgumentParser/SplitArguments.h"

#include <gtest/gtest.h>

#include "ArgumentParser/ParserError.h"

namespace argparse {
namespace {

// One line per element: "v:text", "o:--name", "o:--name=value", "t", with
// "@input" or "@input.sub" after it.
std::string describe(const SplitArguments& split) {
  std::string text;
  for (const auto& element : split.elements()) {
    switch (element.kind) {
      case SplitElement::Kind::value:
        text += "v:" + element.value;
        break;
      case SplitElement::Kind::option:
        text += "o:" + element.option.name.synopsis();
        if (element.option.value) {
          text += "=" + *element.option.value;
        }
        break;
      case SplitElement::Kind::terminator:
        text += "t";
        break;
    }
    text += "@" + std::to_string(element.index.inputIndex);
    if (element.index.subIndex) {
      text += "." + std::to_string(*element.index.subIndex);
    }
    text += " ";
  }
  return text;
}

std::string split(std::vector<std::string> arguments) {
  return describe(SplitArguments::split(std::move(arguments)));
}

std::string invalidOption(std::vector<std::string> arguments) {
  try {
    SplitArguments::split(std::move(arguments));
  } catch (const ParserError& error) {
    EXPECT_EQ(error.kind, ParserError::Kind::invalidOption);
    return error.text.value_or("");
  }
  return "no error";
}

TEST(SplitArguments, ClassifiesValuesLongNamesAndTheTerminator) {
  EXPECT_EQ(split({"set", "40", "--json", "--socket=/tmp/s", "--", "-h", "--x"}),
            "v:set@0 v:40@1 o:--json@2 o:--socket=/tmp/s@3 t@4 v:-h@5 v:--x@6 ");
}

TEST(SplitArguments, LoneDashAndEmptyTextAreValues) {
  EXPECT_EQ(split({"-", ""}), "v:-@0 v:@1 ");
}

TEST(SplitArguments, NothingAfterEqualsLeavesNoValue) {
  EXPECT_EQ(split({"--socket=", "-c="}), "o:--socket@0 o:-c@1 ");
  EXPECT_EQ(split({"--a=b=c"}), "o:--a=b=c@0 ");
}

TEST(SplitArguments, SingleDashNames) {
  EXPECT_EQ(split({"-c=1", "-count=1", "-v"}), "o:-c=1@0 o:-count=1@1 o:-v@2 ");
}

TEST(SplitArguments, CombinedShortOptionsKeepTheWholeWordFirst) {
  EXPECT_EQ(split({"-vx"}), "o:-vx@0 o:-v@0.0 o:-x@0.1 ");
  // Not letters or digits: only the whole word.
  EXPECT_EQ(split({"-1.5"}), "o:-1.5@0 ");
}

TEST(SplitArguments, ThreeDashesAndEmptyNamesAreInvalid) {
  EXPECT_EQ(invalidOption({"---"}), "---");
  EXPECT_EQ(invalidOption({"----"}), "----");
  EXPECT_EQ(invalidOption({"---json"}), "---json");
  EXPECT_EQ(invalidOption({"-=x"}), "-=x");
  EXPECT_EQ(invalidOption({"--=x"}), "--=x");
  EXPECT_EQ(split({"--", "---"}), "t@0 v:---@1 ");
}

TEST(SplitArguments, UsingALetterUsesTheWholeWordButNotItsOtherLetters) {
  SplitArguments parts = SplitArguments::split({"-vx", "a"});
  parts.markUsed(1);
  EXPECT_TRUE(parts.isUsed(0));
  EXPECT_FALSE(parts.isUsed(2));
  EXPECT_EQ(parts.firstUnused(), 2u);
  parts.markUsed(0);
  EXPECT_TRUE(parts.isUsed(2));
  EXPECT_EQ(parts.firstUnused(), 3u);
}

}  // namespace
}  // namespace argparse
