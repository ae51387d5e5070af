#pragma once
// The machine-readable description of a command tree (the help dump) and its
// JSON coding. The framework builds these records from the command tree for
// --experimental-dump-help; the completion script generators read them.
//
// Optional members are left out of the JSON when absent and read back as
// absent when missing or null. Decoding failures throw json::DecodingError.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "json/Value.h"

namespace argparse {

struct NameInfoV0 {
  enum class Kind {
    longName,
    shortName,
    longWithSingleDash
  };  // "long", "short", "longWithSingleDash"
  Kind kind = Kind::longName;
  std::string name;  // without dashes

  bool operator==(const NameInfoV0&) const = default;
};

// How an argument's value is completed. Written as an object with exactly
// one key naming the case, whose value is an object of the case's values.
struct CompletionKindV0 {
  struct List {
    std::vector<std::string> values;
    bool operator==(const List&) const = default;
  };
  struct File {
    std::vector<std::string> extensions;
    bool operator==(const File&) const = default;
  };
  struct Directory {
    bool operator==(const Directory&) const = default;
  };
  struct ShellCommand {
    std::string command;
    bool operator==(const ShellCommand&) const = default;
  };
  struct Custom {
    bool operator==(const Custom&) const = default;
  };
  struct CustomAsync {
    bool operator==(const CustomAsync&) const = default;
  };
  struct CustomDeprecated {
    bool operator==(const CustomDeprecated&) const = default;
  };
  using Value =
      std::variant<List, File, Directory, ShellCommand, Custom, CustomAsync, CustomDeprecated>;

  Value value;

  // True for the three cases answered by calling the program back.
  bool isCustom() const;

  bool operator==(const CompletionKindV0&) const = default;
};

struct ArgumentInfoV0 {
  enum class Kind { positional, option, flag };

  Kind kind = Kind::positional;
  bool shouldDisplay = true;
  std::optional<std::string> sectionTitle;
  bool isOptional = false;
  bool isRepeating = false;
  // "default", "scanningForValue", "unconditional", "upToNextOption",
  // "allRemainingInput", "postTerminator" or "allUnrecognized".
  std::string parsingStrategy = "default";
  std::optional<std::vector<NameInfoV0>> names;
  std::optional<NameInfoV0> preferredName;
  std::optional<std::string> valueName;
  std::optional<std::string> defaultValue;
  std::optional<std::vector<std::string>> allValues;
  std::optional<std::map<std::string, std::string>> allValueDescriptions;
  std::optional<CompletionKindV0> completionKind;
  std::optional<std::string> abstract;
  std::optional<std::string> discussion;

  bool operator==(const ArgumentInfoV0&) const = default;
};

struct CommandInfoV0 {
  std::optional<std::vector<std::string>> superCommands;  // root first, parent last
  bool shouldDisplay = true;
  std::string commandName;
  std::optional<std::vector<std::string>> aliases;
  std::optional<std::string> abstract;
  std::optional<std::string> discussion;
  std::optional<std::string> defaultSubcommand;
  std::optional<std::vector<CommandInfoV0>> subcommands;
  std::optional<std::vector<ArgumentInfoV0>> arguments;

  bool operator==(const CommandInfoV0&) const = default;
};

struct ToolInfoV0 {
  int serializationVersion = 0;
  CommandInfoV0 command;

  bool operator==(const ToolInfoV0&) const = default;
};

// The top-level record reduced to its version, read before the rest.
struct ToolInfoHeader {
  int serializationVersion = 0;

  bool operator==(const ToolInfoHeader&) const = default;
};

std::string_view rawValue(NameInfoV0::Kind kind);
std::string_view rawValue(ArgumentInfoV0::Kind kind);

// Encoding: members in declaration order; optional members left out.
json::Value toJSON(const NameInfoV0& name);
json::Value toJSON(const CompletionKindV0& kind);
json::Value toJSON(const ArgumentInfoV0& argument);
json::Value toJSON(const CommandInfoV0& command);
json::Value toJSON(const ToolInfoV0& info);
json::Value toJSON(const ToolInfoHeader& header);

// The dump as printed: pretty, keys sorted, UTF-8.
std::string encodeDump(const ToolInfoV0& info);

// Decoding from values already parsed (paths start at the root) and from
// whole texts (syntax errors become json::DecodingError of the
// data-corrupted kind).
NameInfoV0 decodeNameInfoV0(const json::Value& value);
CompletionKindV0 decodeCompletionKindV0(const json::Value& value);
ArgumentInfoV0 decodeArgumentInfoV0(const json::Value& value);
CommandInfoV0 decodeCommandInfoV0(const json::Value& value);
ToolInfoV0 decodeToolInfoV0(const json::Value& value);
ToolInfoHeader decodeToolInfoHeader(const json::Value& value);
ToolInfoV0 parseToolInfoV0(std::string_view jsonText);
ToolInfoHeader parseToolInfoHeader(std::string_view jsonText);

}  // namespace argparse
