#include "ArgumentParser/HelpGenerator.h"

#include <algorithm>
#include <cctype>

#include "ArgumentParser/CommandParser.h"
#include "platform/Terminal.h"

namespace argparse {

namespace {

constexpr int kLabelColumnWidth = 26;
constexpr int kDiscussionIndent = 8;
constexpr std::size_t kMaxUsageArguments = 12;

// Byte offsets of the characters of a UTF-8 text, plus its end.
std::vector<std::size_t> characterOffsets(std::string_view text) {
  std::vector<std::size_t> offsets;
  offsets.reserve(text.size() + 1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      offsets.push_back(i);
    }
  }
  offsets.push_back(text.size());
  return offsets;
}

std::string uppercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

struct Element {
  std::string label;
  std::string abstract;
  std::string discussion;
};

struct Section {
  std::string title;
  std::vector<Element> elements;
};

std::string renderElement(const Element& element, int columns) {
  std::string label = "  " + element.label;
  std::string rendered = label;
  if (!element.abstract.empty()) {
    std::string wrapped = wrapText(element.abstract, columns, kLabelColumnWidth);
    if (static_cast<int>(label.size()) < kLabelColumnWidth) {
      rendered += wrapped.substr(std::min(label.size(), wrapped.size()));
    } else {
      rendered += "\n" + wrapped;
    }
  }
  rendered += "\n";
  if (!element.discussion.empty()) {
    rendered += wrapText(element.discussion, columns, kDiscussionIndent) + "\n";
  }
  return rendered;
}

std::string renderSection(const Section& section, int columns) {
  std::string rendered = uppercased(section.title) + ":\n";
  for (const auto& element : section.elements) {
    rendered += renderElement(element, columns);
  }
  return rendered;
}

// "(values: a, b; default: a)" after an argument's abstract.
std::string abstractWithSuffix(const ArgumentDefinition& definition) {
  std::string suffix;
  if (!definition.allValueStrings.empty()) {
    suffix = "values: ";
    for (std::size_t i = 0; i < definition.allValueStrings.size(); ++i) {
      suffix += (i == 0 ? "" : ", ") + definition.allValueStrings[i];
    }
  }
  if (definition.defaultValue) {
    suffix += (suffix.empty() ? "" : "; ") + std::string("default: ") + *definition.defaultValue;
  }
  if (suffix.empty()) {
    return definition.abstract;
  }
  return definition.abstract + (definition.abstract.empty() ? "" : " ") + "(" + suffix + ")";
}

Element subcommandElement(const CommandNode& node, CommandType defaultSubcommand) {
  std::string label = node.name();
  for (const auto& alias : node.configuration().aliases) {
    label += ", " + alias;
  }
  if (node.type == defaultSubcommand) {
    label += " (default)";
  }
  return Element{label, node.configuration().abstract, {}};
}

std::vector<Section> makeSections(const CommandStack& stack, bool includeHidden) {
  const CommandNode& node = *stack.back();
  CommandArguments arguments = argumentsFor(stack);
  Section positionals{"Arguments", {}};
  std::vector<Section> titled;
  Section options{"Options", {}};
  for (const auto& definition : arguments.set.definitions()) {
    if (!definition.isShown(includeHidden)) {
      continue;
    }
    Element element{definition.helpLabel(), abstractWithSuffix(definition), definition.discussion};
    if (definition.parentTitle) {
      auto section = std::find_if(titled.begin(), titled.end(), [&](const Section& s) {
        return s.title == *definition.parentTitle;
      });
      if (section == titled.end()) {
        titled.push_back(Section{*definition.parentTitle, {}});
        section = titled.end() - 1;
      }
      section->elements.push_back(std::move(element));
    } else if (definition.isPositional()) {
      positionals.elements.push_back(std::move(element));
    } else {
      options.elements.push_back(std::move(element));
    }
  }
  if (hasVersion(stack)) {
    options.elements.push_back(Element{"--version", "Show the version.", {}});
  }
  std::string helpLabel;
  for (const auto& name : helpNames(stack)) {
    helpLabel += (helpLabel.empty() ? "" : ", ") + name.synopsis();
  }
  if (!helpLabel.empty()) {
    options.elements.push_back(Element{helpLabel, "Show help information.", {}});
  }

  const auto& configuration = node.configuration();
  auto listed = [&](const std::vector<CommandType>& types, std::string title) {
    Section section{std::move(title), {}};
    for (CommandType type : types) {
      const CommandNode* child = node.childOfType(type);
      if (child != nullptr && child->configuration().shouldDisplay) {
        section.elements.push_back(subcommandElement(*child, configuration.defaultSubcommand));
      }
    }
    return section;
  };

  std::vector<Section> sections;
  sections.push_back(std::move(positionals));
  for (auto& section : titled) {
    sections.push_back(std::move(section));
  }
  sections.push_back(std::move(options));
  sections.push_back(listed(configuration.subcommands, "Subcommands"));
  for (const auto& group : configuration.groupedSubcommands) {
    sections.push_back(listed(group.subcommands, group.name + " Subcommands"));
  }
  return sections;
}

std::string overviewText(const CommandConfiguration& configuration) {
  std::string text = configuration.abstract;
  if (!configuration.discussion.empty()) {
    if (!text.empty()) {
      text += "\n";
    }
    text += "\n" + configuration.discussion;
  }
  return text;
}

// Continuation lines of a usage text line up after "USAGE: " / "Usage: ".
std::string indentingContinuations(const std::string& usage) {
  std::string result;
  for (char c : usage) {
    result += c;
    if (c == '\n') {
      result += "       ";
    }
  }
  return result;
}

}  // namespace

std::string wrapText(std::string_view text, int columns, int indent) {
  const int width = columns - indent;
  if (width < 1) {
    return {};
  }
  const auto offsets = characterOffsets(text);
  const std::size_t count = offsets.size() - 1;
  auto charAt = [&](std::size_t i) { return text[offsets[i]]; };
  auto slice = [&](std::size_t from, std::size_t to) {
    return text.substr(offsets[from], offsets[to] - offsets[from]);
  };
  std::vector<std::string_view> lines;
  std::size_t current = 0;
  while (true) {
    std::size_t chunkEnd = std::min(count, current + static_cast<std::size_t>(width));
    std::optional<std::size_t> lastBreak;
    std::optional<std::size_t> lastSpace;
    for (std::size_t i = current; i < chunkEnd; ++i) {
      if (charAt(i) == '\n') {
        lastBreak = i;
      } else if (charAt(i) == ' ') {
        lastSpace = i;
      }
    }
    if (lastBreak) {
      // Every line up to the last break, empty ones kept.
      std::size_t start = current;
      for (std::size_t i = current; i <= *lastBreak; ++i) {
        if (charAt(i) == '\n') {
          lines.push_back(slice(start, i));
          start = i + 1;
        }
      }
      current = *lastBreak + 1;
      continue;
    }
    if (chunkEnd == count) {
      lines.push_back(slice(current, count));
      break;
    }
    if (lastSpace) {
      lines.push_back(slice(current, *lastSpace));
      current = *lastSpace + 1;
      continue;
    }
    std::optional<std::size_t> nextSpace;
    for (std::size_t i = chunkEnd; i < count; ++i) {
      if (charAt(i) == ' ') {
        nextSpace = i;
        break;
      }
    }
    if (nextSpace) {
      lines.push_back(slice(current, *nextSpace));
      current = *nextSpace + 1;
      continue;
    }
    lines.push_back(slice(current, count));
    break;
  }
  std::string result;
  const std::string prefix(static_cast<std::size_t>(indent), ' ');
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) {
      result += '\n';
    }
    if (!lines[i].empty()) {
      result += prefix;
      result += lines[i];
    }
  }
  return result;
}

std::string commandPath(const CommandStack& stack) {
  std::string path;
  if (!stack.empty() && stack.front()->configuration()._superCommandName) {
    path = *stack.front()->configuration()._superCommandName;
  }
  for (const CommandNode* node : stack) {
    path += (path.empty() ? "" : " ") + node->name();
  }
  return path;
}

CommandArguments argumentsFor(const CommandStack& stack) {
  CommandArguments arguments;
  if (!stack.empty()) {
    arguments.instance = stack.back()->type->make();
    arguments.set = makeArgumentSet(*arguments.instance);
  }
  return arguments;
}

std::string usageString(const CommandStack& stack, bool includeHidden) {
  if (stack.empty()) {
    return {};
  }
  const auto& configuration = stack.back()->configuration();
  if (configuration.usage) {
    return *configuration.usage;
  }
  std::string path = commandPath(stack);
  CommandArguments arguments = argumentsFor(stack);
  std::vector<const ArgumentDefinition*> shown;
  for (const auto& definition : arguments.set.definitions()) {
    if (definition.isShown(includeHidden)) {
      shown.push_back(&definition);
    }
  }
  std::string usage = path;
  if (shown.size() > kMaxUsageArguments) {
    std::vector<const ArgumentDefinition*> kept;
    std::copy_if(shown.begin(), shown.end(), std::back_inserter(kept),
                 [](const ArgumentDefinition* d) { return d->isPositional() || !d->isOptional; });
    if (kept.empty() || kept.size() > kMaxUsageArguments) {
      usage += " <options>";
    } else {
      usage += " [<options>]";
      for (const ArgumentDefinition* definition : kept) {
        usage += " " + definition->usageSynopsis();
      }
    }
  } else {
    for (const ArgumentDefinition* definition : shown) {
      usage += " " + definition->usageSynopsis();
    }
  }
  if (stack.back()->hasSubcommands()) {
    usage += (usage.back() == ' ' ? "" : " ") + std::string("<subcommand>");
  }
  return usage;
}

std::string helpMessage(const CommandStack& stack, bool includeHidden, std::optional<int> columns) {
  if (stack.empty()) {
    return {};
  }
  const int width = columns ? *columns : helpColumns();
  const CommandNode& node = *stack.back();
  std::string help;
  std::string overview = overviewText(node.configuration());
  if (!overview.empty()) {
    help += wrapText("OVERVIEW: " + overview, width) + "\n\n";
  }
  help += "USAGE: " + indentingContinuations(usageString(stack, includeHidden)) + "\n\n";
  bool first = true;
  for (const auto& section : makeSections(stack, includeHidden)) {
    if (section.elements.empty()) {
      continue;
    }
    help += (first ? "" : "\n") + renderSection(section, width);
    first = false;
  }
  if (node.hasSubcommands()) {
    // "help" goes right after the root's name.
    std::string path = commandPath(CommandStack{stack.front()}) + " help";
    for (std::size_t i = 1; i < stack.size(); ++i) {
      path += " " + stack[i]->name();
    }
    help += "\n  See '" + path + " <subcommand>' for detailed help.";
  }
  return help;
}

int helpColumns() {
  return platform::terminalSize().columns;
}

}  // namespace argparse
