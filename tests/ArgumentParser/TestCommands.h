#pragma once
// A small program declared against the framework, shared by the tests.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ArgumentParser/ArgumentParser.h"

namespace testtool {

enum class Side { left, right };
enum class Speed { slow, fast };

}  // namespace testtool

namespace argparse {
template <>
struct EnumStrings<testtool::Side> {
  static constexpr std::pair<testtool::Side, std::string_view> cases[] = {
      {testtool::Side::left, "left"}, {testtool::Side::right, "right"}};
};
template <>
struct EnumStrings<testtool::Speed> {
  static constexpr std::pair<testtool::Speed, std::string_view> cases[] = {
      {testtool::Speed::slow, "slow"}, {testtool::Speed::fast, "fast"}};
};
}  // namespace argparse

namespace testtool {

// What the last run leaf saw, for tests to inspect.
struct Observed {
  std::string command;
  double level = 0;
  Side side = Side::left;
  std::optional<Side> only;
  bool json = false;
  std::optional<std::string> socket;
  std::vector<std::string> words;
};
inline Observed& observed() {
  static Observed value;
  return value;
}

struct CommonOptions : argparse::ParsableArguments {
  argparse::Flag json{this, "json", {.help = {"Output raw JSON for scripting."}}};
  argparse::Option<std::optional<std::string>> socket{
      this, "socket", {.help = {"Custom socket path (default: auto-detected)."}}};
};

struct TuningOptions : argparse::ParsableArguments {
  argparse::Option<int> retries{
      this, "retries", {.help = {"How often to retry."}, .defaultValue = 3}};
};

struct LevelCommand : argparse::ParsableCommand {
  static argparse::CommandConfiguration configuration() {
    return {.commandName = "level",
            .abstract = "Get or set the level",
            .subcommands = {argparse::command<Get>(), argparse::command<Set>()},
            .defaultSubcommand = argparse::command<Get>()};
  }

  struct Get : argparse::ParsableCommand {
    static argparse::CommandConfiguration configuration() { return {.abstract = "Get the level"}; }
    argparse::OptionGroup<CommonOptions> options{this, "options"};
    void run() override {
      observed() = Observed{};
      observed().command = "get";
      observed().json = options->json;
      observed().socket = options->socket;
    }
  };

  struct Set : argparse::ParsableCommand {
    static argparse::CommandConfiguration configuration() { return {.abstract = "Set the level"}; }
    argparse::Argument<double> level{this, "level", {.help = {"Level (0-100)."}}};
    argparse::Option<Side> side{this,
                                "side",
                                {.name = argparse::NameSpecification::shortAndLong(),
                                 .help = {"Which side."},
                                 .defaultValue = Side::right}};
    argparse::Option<std::optional<Side>> only{this, "only", {.help = {"Limit to one side."}}};
    argparse::Flag verbose{
        this,
        "verbose",
        {.name = argparse::NameSpecification::shortAndLong(), .help = {"Say more."}}};
    argparse::OptionGroup<TuningOptions> tuning{this, "tuning", {.title = "Tuning"}};
    argparse::OptionGroup<CommonOptions> options{this, "options"};
    void run() override {
      observed() = Observed{};
      observed().command = "set";
      observed().level = level;
      observed().side = side;
      observed().only = only;
      observed().json = options->json;
      observed().socket = options->socket;
    }
  };
};

struct Files : argparse::ParsableCommand {
  static argparse::CommandConfiguration configuration() {
    return {.abstract = "Work with files", .aliases = {"f", "fs"}};
  }
  argparse::Option<std::string> deviceUID{this, "deviceUID", {.help = {"Device to use."}}};
  argparse::Option<std::optional<std::string>> secret{
      this,
      "secret",
      {.help = {.abstract = "Not for everyone.",
                .visibility = argparse::ArgumentVisibility::hidden}}};
  argparse::Option<std::optional<std::string>> profile{
      this,
      "profile",
      {.help = {"Profile to apply."},
       .completion = argparse::CompletionKind::custom([](const std::vector<std::string>& words,
                                                         int index, int offset) {
         std::string shell = "none";
         return std::vector<std::string>{"alpha", "beta",
                                         std::to_string(words.size()) + ":" +
                                             std::to_string(index) + ":" + std::to_string(offset)};
       })}};
  argparse::Argument<std::vector<std::string>> paths{
      this, "paths", {.help = {"Files to read."}, .defaultValue = std::vector<std::string>{}}};
  void run() override {
    observed() = Observed{};
    observed().command = "files";
    observed().words = paths;
  }
};

struct Plain : argparse::ParsableCommand {
  static argparse::CommandConfiguration configuration() {
    return {.commandName = "plain",
            .abstract = "A group without a default",
            .subcommands = {argparse::command<Leaf>()}};
  }
  struct Leaf : argparse::ParsableCommand {
    static argparse::CommandConfiguration configuration() { return {.abstract = "A leaf"}; }
    argparse::EnumFlag<Speed> speed{this, "speed", {.help = {"How fast."}}};
    argparse::Flag color{this,
                         "color",
                         {.help = {"Use colour."},
                          .defaultValue = true,
                          .inversion = argparse::FlagInversion::prefixedNo}};
    void run() override {
      observed() = Observed{};
      observed().command = "leaf";
      observed().json = color;
    }
  };
};

struct Tool : argparse::ParsableCommand {
  static argparse::CommandConfiguration configuration() {
    return {.commandName = "tool",
            .abstract = "A test tool",
            .version = "1.2.3",
            .subcommands = {argparse::command<LevelCommand>(), argparse::command<Files>(),
                            argparse::command<Plain>()}};
  }
};

}  // namespace testtool
