#include "ArgumentParser/ToolInfo.h"

#include <cstdint>
#include <utility>

#include "json/Decoder.h"

namespace argparse {

bool CompletionKindV0::isCustom() const {
  return std::holds_alternative<Custom>(value) || std::holds_alternative<CustomAsync>(value) ||
         std::holds_alternative<CustomDeprecated>(value);
}

std::string_view rawValue(NameInfoV0::Kind kind) {
  switch (kind) {
    case NameInfoV0::Kind::longName:
      return "long";
    case NameInfoV0::Kind::shortName:
      return "short";
    case NameInfoV0::Kind::longWithSingleDash:
      return "longWithSingleDash";
  }
  return "long";
}

std::string_view rawValue(ArgumentInfoV0::Kind kind) {
  switch (kind) {
    case ArgumentInfoV0::Kind::positional:
      return "positional";
    case ArgumentInfoV0::Kind::option:
      return "option";
    case ArgumentInfoV0::Kind::flag:
      return "flag";
  }
  return "positional";
}

// --- Encoding ---------------------------------------------------------------

namespace {

json::Value stringArray(const std::vector<std::string>& strings) {
  json::Array array;
  array.reserve(strings.size());
  for (const std::string& string : strings)
    array.emplace_back(string);
  return json::Value(std::move(array));
}

template <class Record>
json::Value arrayOf(const std::vector<Record>& records) {
  json::Array array;
  array.reserve(records.size());
  for (const Record& record : records)
    array.push_back(toJSON(record));
  return json::Value(std::move(array));
}

}  // namespace

json::Value toJSON(const NameInfoV0& name) {
  return json::ObjectBuilder().add("kind", rawValue(name.kind)).add("name", name.name).build();
}

json::Value toJSON(const CompletionKindV0& kind) {
  struct Visitor {
    json::Value operator()(const CompletionKindV0::List& list) const {
      return one("list", json::ObjectBuilder().add("values", stringArray(list.values)).build());
    }
    json::Value operator()(const CompletionKindV0::File& file) const {
      return one("file",
                 json::ObjectBuilder().add("extensions", stringArray(file.extensions)).build());
    }
    json::Value operator()(const CompletionKindV0::Directory&) const {
      return one("directory", json::Object());
    }
    json::Value operator()(const CompletionKindV0::ShellCommand& shell) const {
      return one("shellCommand", json::ObjectBuilder().add("command", shell.command).build());
    }
    json::Value operator()(const CompletionKindV0::Custom&) const {
      return one("custom", json::Object());
    }
    json::Value operator()(const CompletionKindV0::CustomAsync&) const {
      return one("customAsync", json::Object());
    }
    json::Value operator()(const CompletionKindV0::CustomDeprecated&) const {
      return one("customDeprecated", json::Object());
    }
    static json::Value one(std::string name, json::Value members) {
      return json::ObjectBuilder().add(std::move(name), std::move(members)).build();
    }
  };
  return std::visit(Visitor{}, kind.value);
}

json::Value toJSON(const ArgumentInfoV0& argument) {
  json::ObjectBuilder builder;
  builder.add("kind", rawValue(argument.kind))
      .add("shouldDisplay", argument.shouldDisplay)
      .addIfPresent("sectionTitle", argument.sectionTitle)
      .add("isOptional", argument.isOptional)
      .add("isRepeating", argument.isRepeating)
      .add("parsingStrategy", argument.parsingStrategy);
  if (argument.names)
    builder.add("names", arrayOf(*argument.names));
  if (argument.preferredName)
    builder.add("preferredName", toJSON(*argument.preferredName));
  builder.addIfPresent("valueName", argument.valueName)
      .addIfPresent("defaultValue", argument.defaultValue);
  if (argument.allValues)
    builder.add("allValues", stringArray(*argument.allValues));
  if (argument.allValueDescriptions) {
    json::ObjectBuilder descriptions;
    for (const auto& [value, description] : *argument.allValueDescriptions)
      descriptions.add(value, description);
    builder.add("allValueDescriptions", descriptions.build());
  }
  if (argument.completionKind)
    builder.add("completionKind", toJSON(*argument.completionKind));
  builder.addIfPresent("abstract", argument.abstract)
      .addIfPresent("discussion", argument.discussion);
  return builder.build();
}

json::Value toJSON(const CommandInfoV0& command) {
  json::ObjectBuilder builder;
  if (command.superCommands)
    builder.add("superCommands", stringArray(*command.superCommands));
  builder.add("shouldDisplay", command.shouldDisplay).add("commandName", command.commandName);
  if (command.aliases)
    builder.add("aliases", stringArray(*command.aliases));
  builder.addIfPresent("abstract", command.abstract)
      .addIfPresent("discussion", command.discussion)
      .addIfPresent("defaultSubcommand", command.defaultSubcommand);
  if (command.subcommands)
    builder.add("subcommands", arrayOf(*command.subcommands));
  if (command.arguments)
    builder.add("arguments", arrayOf(*command.arguments));
  return builder.build();
}

json::Value toJSON(const ToolInfoV0& info) {
  return json::ObjectBuilder()
      .add("serializationVersion", info.serializationVersion)
      .add("command", toJSON(info.command))
      .build();
}

json::Value toJSON(const ToolInfoHeader& header) {
  return json::ObjectBuilder().add("serializationVersion", header.serializationVersion).build();
}

std::string encodeDump(const ToolInfoV0& info) {
  return json::writePretty(toJSON(info));
}

}  // namespace argparse

// --- Decoding ---------------------------------------------------------------

namespace json {

template <>
struct Decodable<argparse::NameInfoV0> {
  static argparse::NameInfoV0 decode(const Decoder& decoder) {
    KeyedDecoder keyed = decoder.keyed("NameInfoV0");
    argparse::NameInfoV0 name;
    name.kind = decodeKind(keyed.member("kind"));
    name.name = keyed.decode<std::string>("name");
    return name;
  }
  static argparse::NameInfoV0::Kind decodeKind(const Decoder& decoder) {
    using Kind = argparse::NameInfoV0::Kind;
    const std::string& raw = decoder.stringRef();
    for (Kind kind : {Kind::longName, Kind::shortName, Kind::longWithSingleDash}) {
      if (argparse::rawValue(kind) == raw)
        return kind;
    }
    throw decoder.dataCorrupted("Cannot initialize KindV0 from invalid String value " + raw);
  }
};

template <>
struct Decodable<argparse::CompletionKindV0> {
  static argparse::CompletionKindV0 decode(const Decoder& decoder) {
    using Kind = argparse::CompletionKindV0;
    KeyedDecoder keyed = decoder.keyed("CompletionKindV0");
    std::vector<std::string_view> keys = keyed.allKeys();
    if (keys.size() != 1)
      throw keyed.typeMismatch("Invalid number of keys found, expected one.");
    std::string_view key = keys.front();
    KeyedDecoder members = keyed.nested(key);
    if (key == "list")
      return {Kind::List{members.decode<std::vector<std::string>>("values")}};
    if (key == "file")
      return {Kind::File{members.decode<std::vector<std::string>>("extensions")}};
    if (key == "directory")
      return {Kind::Directory{}};
    if (key == "shellCommand")
      return {Kind::ShellCommand{members.decode<std::string>("command")}};
    if (key == "custom")
      return {Kind::Custom{}};
    if (key == "customAsync")
      return {Kind::CustomAsync{}};
    if (key == "customDeprecated")
      return {Kind::CustomDeprecated{}};
    throw keyed.dataCorrupted("Unknown completion kind \"" + std::string(key) + "\"");
  }
};

template <>
struct Decodable<argparse::ArgumentInfoV0> {
  static argparse::ArgumentInfoV0 decode(const Decoder& decoder) {
    KeyedDecoder keyed = decoder.keyed("ArgumentInfoV0");
    argparse::ArgumentInfoV0 argument;
    argument.kind = decodeKind(keyed.member("kind"));
    argument.shouldDisplay = keyed.decode<bool>("shouldDisplay");
    argument.sectionTitle = keyed.decodeIfPresent<std::string>("sectionTitle");
    argument.isOptional = keyed.decode<bool>("isOptional");
    argument.isRepeating = keyed.decode<bool>("isRepeating");
    argument.parsingStrategy = keyed.decode<std::string>("parsingStrategy");
    argument.names = keyed.decodeIfPresent<std::vector<argparse::NameInfoV0>>("names");
    argument.preferredName = keyed.decodeIfPresent<argparse::NameInfoV0>("preferredName");
    argument.valueName = keyed.decodeIfPresent<std::string>("valueName");
    argument.defaultValue = keyed.decodeIfPresent<std::string>("defaultValue");
    argument.allValues = keyed.decodeIfPresent<std::vector<std::string>>("allValues");
    if (auto descriptions = keyed.memberIfPresent("allValueDescriptions")) {
      KeyedDecoder map = descriptions->keyed("Dictionary");
      std::map<std::string, std::string> values;
      for (std::string_view key : map.allKeys())
        values[std::string(key)] = map.decode<std::string>(key);
      argument.allValueDescriptions = std::move(values);
    }
    argument.completionKind = keyed.decodeIfPresent<argparse::CompletionKindV0>("completionKind");
    argument.abstract = keyed.decodeIfPresent<std::string>("abstract");
    argument.discussion = keyed.decodeIfPresent<std::string>("discussion");
    return argument;
  }
  static argparse::ArgumentInfoV0::Kind decodeKind(const Decoder& decoder) {
    using Kind = argparse::ArgumentInfoV0::Kind;
    const std::string& raw = decoder.stringRef();
    for (Kind kind : {Kind::positional, Kind::option, Kind::flag}) {
      if (argparse::rawValue(kind) == raw)
        return kind;
    }
    throw decoder.dataCorrupted("Cannot initialize KindV0 from invalid String value " + raw);
  }
};

template <>
struct Decodable<argparse::CommandInfoV0> {
  static argparse::CommandInfoV0 decode(const Decoder& decoder) {
    KeyedDecoder keyed = decoder.keyed("CommandInfoV0");
    argparse::CommandInfoV0 command;
    command.superCommands = keyed.decodeIfPresent<std::vector<std::string>>("superCommands");
    command.shouldDisplay = keyed.decode<bool>("shouldDisplay");
    command.commandName = keyed.decode<std::string>("commandName");
    command.aliases = keyed.decodeIfPresent<std::vector<std::string>>("aliases");
    command.abstract = keyed.decodeIfPresent<std::string>("abstract");
    command.discussion = keyed.decodeIfPresent<std::string>("discussion");
    command.defaultSubcommand = keyed.decodeIfPresent<std::string>("defaultSubcommand");
    command.subcommands =
        keyed.decodeIfPresent<std::vector<argparse::CommandInfoV0>>("subcommands");
    command.arguments = keyed.decodeIfPresent<std::vector<argparse::ArgumentInfoV0>>("arguments");
    return command;
  }
};

template <>
struct Decodable<argparse::ToolInfoHeader> {
  static argparse::ToolInfoHeader decode(const Decoder& decoder) {
    return {decoder.keyed("ToolInfoHeader").decode<int>("serializationVersion")};
  }
};

template <>
struct Decodable<argparse::ToolInfoV0> {
  static argparse::ToolInfoV0 decode(const Decoder& decoder) {
    KeyedDecoder keyed = decoder.keyed("ToolInfoV0");
    argparse::ToolInfoV0 info;
    info.serializationVersion = keyed.decode<int>("serializationVersion");
    info.command = keyed.decode<argparse::CommandInfoV0>("command");
    return info;
  }
};

}  // namespace json

namespace argparse {

namespace {

template <class Record>
Record decodeRoot(const json::Value& value) {
  return json::Decoder(value).decode<Record>();
}

template <class Record>
Record decodeText(std::string_view jsonText) {
  json::Value value;
  try {
    value = json::parse(jsonText);
  } catch (const json::ParseError& error) {
    throw json::DecodingError::fromParseError(error);
  }
  return decodeRoot<Record>(value);
}

}  // namespace

NameInfoV0 decodeNameInfoV0(const json::Value& value) {
  return decodeRoot<NameInfoV0>(value);
}
CompletionKindV0 decodeCompletionKindV0(const json::Value& value) {
  return decodeRoot<CompletionKindV0>(value);
}
ArgumentInfoV0 decodeArgumentInfoV0(const json::Value& value) {
  return decodeRoot<ArgumentInfoV0>(value);
}
CommandInfoV0 decodeCommandInfoV0(const json::Value& value) {
  return decodeRoot<CommandInfoV0>(value);
}
ToolInfoV0 decodeToolInfoV0(const json::Value& value) {
  return decodeRoot<ToolInfoV0>(value);
}
ToolInfoHeader decodeToolInfoHeader(const json::Value& value) {
  return decodeRoot<ToolInfoHeader>(value);
}
ToolInfoV0 parseToolInfoV0(std::string_view jsonText) {
  return decodeText<ToolInfoV0>(jsonText);
}
ToolInfoHeader parseToolInfoHeader(std::string_view jsonText) {
  return decodeText<ToolInfoHeader>(jsonText);
}

}  // namespace argparse
