#include "ArgumentParser/ManPageGenerator.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <ctime>

#include "ArgumentParser/CommandParser.h"
#include "ArgumentParser/CompletionsGenerator.h"
#include "ArgumentParser/HelpDump.h"
#include "ArgumentParser/Messages.h"

namespace argparse {

namespace {

using completion_support::CommandPath;
using completion_support::dashedName;
using completion_support::isNamed;
using completion_support::joined;
using completion_support::namesOf;
using completion_support::offeredArguments;
using completion_support::offeredCommands;
using completion_support::offeredSubcommands;
using completion_support::takesValue;

// The abstracts the framework gives its own flags. Every command accepts
// them, so the page lists them once, under OPTIONS, and usage lines leave
// them out as the help screens do.
constexpr const char* kHelpAbstract = "Show help information.";
constexpr const char* kVersionAbstract = "Show the version.";

// Usage lines keep the positional and required arguments alone beyond this.
constexpr std::size_t kMostArgumentsInUsage = 12;

bool isBuiltIn(const ArgumentInfoV0& argument) {
  return argument.kind == ArgumentInfoV0::Kind::flag &&
         (argument.abstract == kHelpAbstract || argument.abstract == kVersionAbstract);
}

std::vector<const ArgumentInfoV0*> ownArguments(const CommandInfoV0& command) {
  std::vector<const ArgumentInfoV0*> arguments = offeredArguments(command);
  std::erase_if(arguments, [](const ArgumentInfoV0* argument) { return isBuiltIn(*argument); });
  return arguments;
}

std::string specialCharacter(unsigned long codePoint) {
  switch (codePoint) {
    case 0x2014:
      return "\\(em";
    case 0x2013:
      return "\\(en";
    case 0x2192:
      return "\\(->";
    case 0x2190:
      return "\\(<-";
    case 0x2018:
      return "\\(oq";
    case 0x2019:
      return "\\(cq";
    case 0x201C:
      return "\\(lq";
    case 0x201D:
      return "\\(rq";
    case 0x2022:
      return "\\(bu";
    case 0x00B0:
      return "\\(de";
    case 0x00D7:
      return "\\(mu";
    default: {
      // \[uXXXX]: at least four upper-case hexadecimal digits.
      std::string digits;
      for (unsigned long rest = codePoint; rest != 0 || digits.size() < 4; rest >>= 4U) {
        digits.insert(digits.begin(), "0123456789ABCDEF"[rest & 0xFU]);
      }
      return "\\[u" + digits + "]";
    }
  }
}

// The code point of the UTF-8 sequence starting at `at`, which is moved
// past it; a byte that starts no valid sequence gives U+FFFD.
unsigned long decodeUTF8(const std::string& text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at++]);
  std::size_t length = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  if (length == 0 || at + length > text.size()) {
    return 0xFFFD;
  }
  unsigned long codePoint = lead & (0x3FU >> length);
  for (std::size_t i = 0; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0U) != 0x80U) {
      return 0xFFFD;
    }
    codePoint = (codePoint << 6U) | (next & 0x3FU);
  }
  at += length;
  return codePoint;
}

// A whole input line of text: one that starts with a control character
// would be read as a request.
std::string textLine(const std::string& escaped) {
  if (!escaped.empty() && (escaped.front() == '.' || escaped.front() == '\'')) {
    return "\\&" + escaped + "\n";
  }
  return escaped + "\n";
}

// A macro argument in double quotes.
std::string quotedArgument(const std::string& text) {
  std::string quoted = "\"";
  for (char c : roffEscaped(text)) {
    quoted += c == '"' ? std::string("\\(dq") : std::string(1, c);
  }
  return quoted + "\"";
}

std::string bold(const std::string& text) {
  return "\\fB" + roffEscaped(text) + "\\fR";
}

std::string valuePlaceholder(const std::string& valueName) {
  return "<\\fI" + roffEscaped(valueName) + "\\fR>";
}

std::string trimmedLeft(const std::string& line) {
  auto start = line.find_first_not_of(" \t");
  return start == std::string::npos ? std::string() : line.substr(start);
}

bool isIndented(const std::string& line) {
  return !line.empty() && (line.front() == ' ' || line.front() == '\t');
}

// The text's lines, without their ends; a last line needs none.
std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Writes plain text: blank lines part paragraphs, each opened by
// `paragraphMacro` (.PP in a section, .IP inside a tagged entry) except the
// first when `openFirst` is false; indented lines, such as examples, are
// kept as they are, unfilled and indented.
class TextWriter {
 public:
  TextWriter(std::string& out, std::string paragraphMacro)
      : out_(out), macro_(std::move(paragraphMacro)) {}

  void write(const std::string& text, bool openFirst) {
    bool pendingParagraph = openFirst;
    std::vector<std::string> indented;
    for (const auto& line : linesOf(text)) {
      if (trimmedLeft(line).empty()) {
        flushIndented(indented);
        pendingParagraph = true;
        continue;
      }
      if (pendingParagraph) {
        flushIndented(indented);
        out_ += macro_ + "\n";
        pendingParagraph = false;
      }
      if (isIndented(line)) {
        indented.push_back(line);
        continue;
      }
      flushIndented(indented);
      out_ += textLine(roffEscaped(line));
    }
    flushIndented(indented);
  }

 private:
  void flushIndented(std::vector<std::string>& lines) {
    if (lines.empty()) {
      return;
    }
    std::size_t common = std::string::npos;
    for (const auto& line : lines) {
      common = std::min(common, line.find_first_not_of(" \t"));
    }
    out_ += ".RS 4\n.nf\n";
    for (const auto& line : lines) {
      out_ += textLine(roffEscaped(line.substr(common)));
    }
    out_ += ".fi\n.RE\n";
    lines.clear();
  }

  std::string& out_;
  std::string macro_;
};

// "[--socket <socket>]" and the like, unbreakable inside, as in usage lines.
std::string argumentSynopsis(const ArgumentInfoV0& argument) {
  std::string synopsis;
  if (isNamed(argument)) {
    const NameInfoV0 name =
        argument.preferredName ? *argument.preferredName : namesOf(argument).front();
    synopsis = bold(dashedName(name));
    if (takesValue(argument)) {
      synopsis += "\\ " + valuePlaceholder(argument.valueName.value_or(name.name));
    }
  } else {
    synopsis = valuePlaceholder(argument.valueName.value_or("value"));
  }
  if (argument.isRepeating) {
    synopsis += "\\ ...";
  }
  if (argument.isOptional) {
    synopsis = "[" + synopsis + "]";
  }
  if (argument.parsingStrategy == "postTerminator") {
    synopsis = "\\-\\-\\ " + synopsis;
  }
  return synopsis;
}

std::string usageLine(const CommandPath& path) {
  const CommandInfoV0& command = *path.command;
  std::vector<const ArgumentInfoV0*> arguments = ownArguments(command);
  std::string line = bold(joined(path.names, " "));
  if (arguments.size() > kMostArgumentsInUsage) {
    std::erase_if(arguments, [](const ArgumentInfoV0* argument) {
      return isNamed(*argument) && argument->isOptional;
    });
    line += arguments.empty() || arguments.size() > kMostArgumentsInUsage
                ? std::string(" <\\fIoptions\\fR>")
                : std::string(" [<\\fIoptions\\fR>]");
    if (arguments.size() > kMostArgumentsInUsage) {
      arguments.clear();
    }
  }
  for (const ArgumentInfoV0* argument : arguments) {
    line += " " + argumentSynopsis(*argument);
  }
  if (!offeredSubcommands(command).empty()) {
    line += " <\\fIsubcommand\\fR>";
  }
  return line;
}

std::string entryTag(const ArgumentInfoV0& argument) {
  if (!isNamed(argument)) {
    return valuePlaceholder(argument.valueName.value_or("value"));
  }
  std::vector<NameInfoV0> names = namesOf(argument);
  std::stable_partition(names.begin(), names.end(), [](const NameInfoV0& name) {
    return name.kind == NameInfoV0::Kind::shortName;
  });
  std::vector<std::string> shown;
  shown.reserve(names.size());
  for (const auto& name : names) {
    shown.push_back(bold(dashedName(name)));
  }
  std::string tag = joined(shown, ", ");
  if (takesValue(argument)) {
    tag += " " + valuePlaceholder(argument.valueName.value_or(names.front().name));
  }
  return tag;
}

// The abstract with the same "(values: ...; default: ...)" ending as help.
std::string entryAbstract(const ArgumentInfoV0& argument) {
  std::string abstract = argument.abstract.value_or("");
  std::string suffix;
  const bool listsValues =
      argument.allValues && !argument.allValues->empty() && !argument.allValueDescriptions;
  if (listsValues) {
    suffix = "values: " + joined(*argument.allValues, ", ");
  }
  if (argument.defaultValue) {
    suffix += (suffix.empty() ? "" : "; ") + std::string("default: ") + *argument.defaultValue;
  }
  if (!suffix.empty()) {
    abstract += (abstract.empty() ? "" : " ") + ("(" + suffix + ")");
  }
  return abstract;
}

void writeArgumentEntry(std::string& out, const ArgumentInfoV0& argument) {
  out += ".TP\n" + textLine(entryTag(argument));
  TextWriter body(out, ".IP");
  body.write(entryAbstract(argument), false);
  if (argument.discussion) {
    body.write(*argument.discussion, true);
  }
  if (argument.allValueDescriptions && argument.allValues) {
    out += ".RS\n";
    for (const auto& value : *argument.allValues) {
      auto description = argument.allValueDescriptions->find(value);
      out += ".TP\n" + textLine(bold(value));
      if (description != argument.allValueDescriptions->end()) {
        body.write(description->second, false);
      }
    }
    out += ".RE\n";
  }
}

// Entries under a heading; none when the heading is empty.
void writeEntries(std::string& out, const std::string& heading,
                  const std::vector<const ArgumentInfoV0*>& arguments) {
  if (arguments.empty()) {
    return;
  }
  if (!heading.empty()) {
    out += ".PP\n" + textLine(roffEscaped(heading + ":"));
  }
  for (const ArgumentInfoV0* argument : arguments) {
    writeArgumentEntry(out, *argument);
  }
}

// Positionals, then each titled group in order of appearance, then the rest
// (under `optionsHeading`).
void writeArguments(std::string& out, const std::vector<const ArgumentInfoV0*>& arguments,
                    const std::string& optionsHeading = "Options") {
  std::vector<const ArgumentInfoV0*> positionals;
  std::vector<const ArgumentInfoV0*> options;
  std::vector<std::string> titles;
  for (const ArgumentInfoV0* argument : arguments) {
    if (!isNamed(*argument)) {
      positionals.push_back(argument);
    } else if (argument->sectionTitle) {
      if (std::find(titles.begin(), titles.end(), *argument->sectionTitle) == titles.end()) {
        titles.push_back(*argument->sectionTitle);
      }
    } else {
      options.push_back(argument);
    }
  }
  writeEntries(out, "Arguments", positionals);
  for (const auto& title : titles) {
    std::vector<const ArgumentInfoV0*> group;
    std::copy_if(arguments.begin(), arguments.end(), std::back_inserter(group),
                 [&](const ArgumentInfoV0* argument) {
                   return isNamed(*argument) && argument->sectionTitle == title;
                 });
    writeEntries(out, title, group);
  }
  writeEntries(out, optionsHeading, options);
}

void writeSubcommandList(std::string& out, const CommandInfoV0& command) {
  std::vector<const CommandInfoV0*> subcommands = offeredSubcommands(command);
  if (subcommands.empty()) {
    return;
  }
  out += ".PP\nSubcommands:\n.PD 0\n";
  TextWriter body(out, ".IP");
  for (const CommandInfoV0* subcommand : subcommands) {
    std::vector<std::string> labels{subcommand->commandName};
    if (subcommand->aliases) {
      labels.insert(labels.end(), subcommand->aliases->begin(), subcommand->aliases->end());
    }
    std::string tag = bold(joined(labels, ", "));
    if (command.defaultSubcommand == subcommand->commandName) {
      tag += " (default)";
    }
    out += ".TP\n" + textLine(tag);
    body.write(subcommand->abstract.value_or(""), false);
  }
  out += ".PD\n";
}

void writeCommand(std::string& out, const CommandPath& path) {
  const CommandInfoV0& command = *path.command;
  out += ".SS " + quotedArgument(joined(path.names, " ")) + "\n";
  TextWriter text(out, ".PP");
  text.write(command.abstract.value_or(""), false);
  if (command.discussion) {
    text.write(*command.discussion, true);
  }
  out += ".PP\n" + textLine(usageLine(path));
  writeArguments(out, ownArguments(command));
  writeSubcommandList(out, command);
}

void writeSection(std::string& out, const ManualSection& section) {
  out += ".SH " + quotedArgument(section.title) + "\n";
  TextWriter text(out, ".PP");
  bool first = true;
  for (const auto& paragraph : section.paragraphs) {
    text.write(paragraph, !first);
    first = false;
  }
  TextWriter body(out, ".IP");
  for (const auto& entry : section.entries) {
    out += ".TP\n" + textLine(bold(entry.tag));
    body.write(entry.text, false);
  }
  if (!section.references.empty()) {
    if (!first || !section.entries.empty()) {
      out += ".PP\n";
    }
    for (std::size_t i = 0; i < section.references.size(); ++i) {
      const std::string& reference = section.references[i];
      const auto open = reference.find('(');
      std::string line = bold(reference.substr(0, open));
      if (open != std::string::npos) {
        line += roffEscaped(reference.substr(open));
      }
      out += textLine(line + (i + 1 < section.references.size() ? "," : ""));
    }
  }
}

// Usage lines and the commands' entries leave the built-in flags out: say
// once that every command takes them.
void writeBuiltInNote(std::string& out, const std::vector<const ArgumentInfoV0*>& rootOptions) {
  std::vector<std::string> tags;
  for (const ArgumentInfoV0* argument : rootOptions) {
    if (isBuiltIn(*argument)) {
      tags.push_back(entryTag(*argument));
    }
  }
  if (tags.empty()) {
    return;
  }
  std::string list = tags.back();
  if (tags.size() > 1) {
    tags.pop_back();
    list = joined(tags, "; ") + " and " + list;
  }
  out += ".PP\n" + textLine("Every command accepts " + list + ".");
}

// The framework's sections, with a program's sections of the same titles
// merged into them, then the program's others.
std::vector<ManualSection> closingSections(const std::vector<ManualSection>& programSections) {
  std::vector<ManualSection> sections{
      {"EXIT STATUS",
       {},
       {{"0", "Success; also help, version, manual and completion output."},
        {"1", "The command failed; the reason is printed on standard error."},
        {"64",
         "Usage error: the command line could not be parsed, or a value is out of "
         "range."}},
       {}},
      {"ENVIRONMENT",
       {},
       {{"COLUMNS",
         "Width of help screens when both COLUMNS and LINES hold numbers; otherwise "
         "the terminal's width, or 80 columns."},
        {"LINES", "See COLUMNS."},
        {"SHELL",
         "Its last path component chooses the shell when "
         "--generate-completion-script is given without one."}},
       {}}};
  for (const auto& programSection : programSections) {
    auto same = std::find_if(sections.begin(), sections.end(), [&](const ManualSection& section) {
      return section.title == programSection.title;
    });
    if (same == sections.end()) {
      sections.push_back(programSection);
      continue;
    }
    same->paragraphs.insert(same->paragraphs.end(), programSection.paragraphs.begin(),
                            programSection.paragraphs.end());
    same->entries.insert(same->entries.end(), programSection.entries.begin(),
                         programSection.entries.end());
    same->references.insert(same->references.end(), programSection.references.begin(),
                            programSection.references.end());
  }
  return sections;
}

std::string upperCased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::string dateOfBuild() {
  std::time_t when = std::time(nullptr);
  // NOLINTNEXTLINE(concurrency-mt-unsafe): read once, on one thread
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    char* end = nullptr;
    const long long seconds = std::strtoll(epoch, &end, 10);
    if (end != epoch && *end == '\0' && seconds >= 0) {
      when = static_cast<std::time_t>(seconds);
    }
  }
  std::tm parts{};
  std::array<char, 16> text{};
  if (gmtime_r(&when, &parts) == nullptr ||
      std::strftime(text.data(), text.size(), "%Y-%m-%d", &parts) == 0) {
    return {};
  }
  return text.data();
}

}  // namespace

std::string roffEscaped(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const char c = text[at];
    if (static_cast<unsigned char>(c) >= 0x80) {
      escaped += specialCharacter(decodeUTF8(text, at));
      continue;
    }
    ++at;
    if (c == '\\') {
      escaped += "\\e";
    } else if (c == '-') {
      escaped += "\\-";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string manualPage(const ToolInfoV0& rootDump, const ManualPageDetails& details) {
  const CommandInfoV0& root = rootDump.command;
  const std::vector<CommandPath> commands = offeredCommands(root);
  std::string out = ".TH " + quotedArgument(upperCased(root.commandName)) + " 1 " + "\"" +
                    details.date + "\" " + quotedArgument(details.source) + " \"User Commands\"\n";
  // Names and paths read better unbroken, and filled lines unstretched.
  out += ".nh\n.ad l\n";
  out += ".SH NAME\n" + textLine(roffEscaped(root.commandName) +
                                 (root.abstract ? " \\- " + roffEscaped(*root.abstract) : ""));
  out += ".SH SYNOPSIS\n" + textLine(usageLine(commands.front()));
  out += ".SH DESCRIPTION\n";
  TextWriter description(out, ".PP");
  description.write(root.discussion.value_or(root.abstract.value_or("")), false);
  writeSubcommandList(out, root);

  std::vector<const ArgumentInfoV0*> rootOptions = offeredArguments(root);
  if (!rootOptions.empty()) {
    out += ".SH OPTIONS\n";
    writeArguments(out, rootOptions, "");
    writeBuiltInNote(out, rootOptions);
  }
  if (commands.size() > 1) {
    out += ".SH COMMANDS\n";
    for (auto it = commands.begin() + 1; it != commands.end(); ++it) {
      writeCommand(out, *it);
    }
  }
  for (const auto& section : closingSections(details.sections)) {
    writeSection(out, section);
  }
  return out;
}

std::string manualPage(const CommandTree& tree) {
  const CommandStack stack{&tree.root()};
  ManualPageDetails details;
  if (auto manual = tree.root().configuration().manual) {
    Manual written = manual();
    details.source = std::move(written.source);
    details.sections = std::move(written.sections);
  }
  if (details.source.empty()) {
    details.source = tree.root().name();
    if (hasVersion(stack)) {
      details.source += " " + versionText(stack);
    }
  }
  details.date = dateOfBuild();
  return manualPage(toolInfo(stack), details);
}

}  // namespace argparse
