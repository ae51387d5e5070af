#include "platform/OptionParser.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using platform::OptionParser;

namespace {

// A command line like the daemon's: two flags, a path, a value and a
// handler that refuses odd numbers.
struct Parsed {
  bool help = false;
  bool version = false;
  std::optional<std::string> socket;
  std::optional<std::string> name;
  std::vector<std::string> numbers;
  std::optional<std::string> refusal;
};

Parsed parse(const std::vector<std::string>& arguments) {
  Parsed parsed;
  parsed.refusal = OptionParser()
                       .flag({"-h", "--help"}, parsed.help)
                       .flag({"--version"}, parsed.version)
                       .path("--socket", parsed.socket)
                       .value("--name", parsed.name)
                       .option("--even",
                               [&parsed](const std::string& value) -> OptionParser::Refusal {
                                 if (value.empty() || (value.back() - '0') % 2 != 0) {
                                   return "'" + value + "' is not even";
                                 }
                                 parsed.numbers.push_back(value);
                                 return std::nullopt;
                               })
                       .parse(arguments);
  return parsed;
}

}  // namespace

TEST(OptionParserTest, ReadsFlagsAndBothFormsOfValueInAnyOrder) {
  const Parsed parsed = parse({"--even", "2", "--socket=/tmp/s", "-h", "--name", "--version",
                               "--even=4", "--socket", "/tmp/t", "--name="});
  EXPECT_EQ(parsed.refusal, std::nullopt);
  EXPECT_TRUE(parsed.help);
  EXPECT_FALSE(parsed.version);  // "--version" was --name's value
  EXPECT_EQ(parsed.socket, "/tmp/t");
  EXPECT_EQ(parsed.name, "");
  EXPECT_EQ(parsed.numbers, (std::vector<std::string>{"2", "4"}));

  const Parsed none = parse({});
  EXPECT_EQ(none.refusal, std::nullopt);
  EXPECT_FALSE(none.help);
  EXPECT_EQ(none.socket, std::nullopt);
}

TEST(OptionParserTest, StopsAtTheFirstFaultAndSaysWhatItIs) {
  EXPECT_EQ(parse({"--socket"}).refusal, "Missing value for '--socket'");
  EXPECT_EQ(parse({"--socket="}).refusal, "Invalid value for '--socket': the path is empty");
  EXPECT_EQ(parse({"--even", "3"}).refusal, "Invalid value for '--even': '3' is not even");
  EXPECT_EQ(parse({"--sockets=/x"}).refusal, "Unknown option '--sockets=/x'");
  EXPECT_EQ(parse({"--help=yes"}).refusal, "Unknown option '--help=yes'");
  EXPECT_EQ(parse({"-"}).refusal, "Unknown option '-'");
  EXPECT_EQ(parse({"status"}).refusal, "Unexpected argument 'status'");
  EXPECT_EQ(parse({""}).refusal, "Unexpected argument ''");

  const Parsed stopped = parse({"--even", "2", "--even", "5", "--even", "6", "--bogus"});
  EXPECT_EQ(stopped.refusal, "Invalid value for '--even': '5' is not even");
  EXPECT_EQ(stopped.numbers, (std::vector<std::string>{"2"}));
}
