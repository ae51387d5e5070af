// The fish script: a token parser that follows the command tree with fish's
// argparse, and one `complete` line per subcommand and argument, each
// guarded by a condition on the parsed command path.

#include <algorithm>
#include <variant>

#include "ArgumentParser/CompletionsGenerator.h"

namespace argparse {

using namespace completion_support;

namespace {

// Inside fish single quotes a backslash escapes a backslash too.
std::string fishEscaped(std::string_view text) {
  std::string escaped;
  for (char character : text) {
    if (character == '\\') {
      escaped += "\\\\";
    } else {
      escaped += character;
    }
  }
  return singleQuoteEscaped(escaped);
}

std::string fishQuoted(std::string_view text) {
  return "'" + fishEscaped(text) + "'";
}

// A word of a candidate list, which fish splits and expands.
std::string listWord(std::string_view word) {
  bool isPlain = !word.empty();
  for (char character : word) {
    bool isSafe = (character >= 'a' && character <= 'z') ||
                  (character >= 'A' && character <= 'Z') ||
                  (character >= '0' && character <= '9') ||
                  std::string_view("-_./:@+,=%").find(character) != std::string_view::npos;
    if (!isSafe)
      isPlain = false;
  }
  return isPlain ? std::string(word) : fishQuoted(word);
}

// "__" + root name + "_" + suffix.
std::string helper(const CommandPath& path, std::string_view suffix) {
  return "__" + path.names.front() + "_" + std::string(suffix);
}

std::string commandPathText(const CommandPath& path) {
  return "\"" + joined(path.names, " ") + "\"";
}

std::string argparseSpecification(const ArgumentInfoV0& argument) {
  std::string shortName;
  std::string longName;
  for (const NameInfoV0& name : namesOf(argument)) {
    if (name.kind == NameInfoV0::Kind::shortName) {
      if (shortName.empty())
        shortName = name.name;
    } else if (longName.empty()) {
      longName = name.name;
    }
  }
  std::string argSpec = shortName.empty()  ? longName
                        : longName.empty() ? shortName
                                           : shortName + "/" + longName;
  if (takesValue(argument))
    argSpec += argument.isRepeating ? "=+" : "=";
  return fishQuoted(argSpec);
}

std::string parseSubcommandCall(const CommandPath& path) {
  const CommandInfoV0& command = *path.command;
  std::string call = helper(path, "parse_subcommand") + " ";
  call += hasRepeatingPositional(command)
              ? "-r " + std::to_string(allPositionals(command).size() - 1)
              : std::to_string(allPositionals(command).size());
  if (command.arguments) {
    for (const ArgumentInfoV0& argument : *command.arguments) {
      if (isNamed(argument) && !namesOf(argument).empty())
        call += " " + argparseSpecification(argument);
    }
  }
  return call;
}

// The case of a command in __<root>_parse_tokens, with its subcommands nested.
std::string parseCase(const CommandPath& path, const std::vector<CommandPath>& commands,
                      std::size_t depth) {
  const CommandInfoV0& command = *path.command;
  std::string indent(4 * depth, ' ');
  std::vector<std::string> patterns{fishQuoted(command.commandName)};
  if (command.aliases) {
    for (const std::string& alias : *command.aliases)
      patterns.push_back(fishQuoted(alias));
  }
  std::string text = indent + "case " + joined(patterns, " ") + "\n";
  // The command path holds canonical names, whatever was typed.
  if (patterns.size() > 1)
    text += indent + "    set unparsed_tokens[1] " + fishQuoted(command.commandName) + "\n";
  text += indent + "    " + parseSubcommandCall(path) + "\n";

  std::vector<const CommandPath*> children;
  for (const CommandPath& candidate : commands) {
    if (candidate.names.size() == path.names.size() + 1 &&
        std::equal(path.names.begin(), path.names.end(), candidate.names.begin())) {
      children.push_back(&candidate);
    }
  }
  if (children.empty())
    return text;
  text += indent + "    switch \"$unparsed_tokens[1]\"\n";
  for (const CommandPath* child : children)
    text += parseCase(*child, commands, depth + 1);
  // An unknown word ends the path: nothing more is offered below it.
  text += indent + "    case '*'\n" + indent + "        set -a commands $unparsed_tokens[1]\n";
  text += indent + "    end\n";
  return text;
}

std::string customCompletion(const CommandPath& path, const ArgumentInfoV0& argument,
                             bool withPositions) {
  std::string text = "fka '(" + helper(path, "custom_completion") + " " +
                     singleQuoteEscaped(callbackArguments(path, argument));
  if (withPositions)
    text += " (count (" + helper(path, "tokens") + " -pc)) (commandline -ct | string length)";
  return text + ")'";
}

std::string fileCompletion(const CommandPath& path, const std::vector<std::string>& extensions) {
  if (extensions.empty())
    return "F";
  std::vector<std::string> words;
  words.reserve(extensions.size());
  for (const std::string& extension : extensions)
    words.push_back(listWord(extension));
  return "fa '(set -l exts " + singleQuoteEscaped(joined(words, " ")) +
         "; for ext in $exts; set -l paths (commandline -ct)*.$ext; printf \"%s\\n\" $paths; "
         "end; " +
         helper(path, "complete_directories") + ")'";
}

// The letters after "-" (and "r"), with their argument.
std::string completionLetters(const CommandPath& path, const ArgumentInfoV0& argument) {
  if (!argument.completionKind)
    return "fka ''";
  struct Visitor {
    const CommandPath& path;
    const ArgumentInfoV0& argument;
    std::string operator()(const CompletionKindV0::List& list) const {
      std::vector<std::string> words;
      for (const std::string& value : list.values)
        words.push_back(listWord(value));
      return "fka '" + singleQuoteEscaped(joined(words, " ")) + "'";
    }
    std::string operator()(const CompletionKindV0::File& file) const {
      return fileCompletion(path, file.extensions);
    }
    std::string operator()(const CompletionKindV0::Directory&) const {
      return "fa '(" + helper(path, "complete_directories") + ")'";
    }
    std::string operator()(const CompletionKindV0::ShellCommand& shell) const {
      return "fka '(" + singleQuoteEscaped(shell.command) + ")'";
    }
    std::string operator()(const CompletionKindV0::Custom&) const {
      return customCompletion(path, argument, true);
    }
    std::string operator()(const CompletionKindV0::CustomAsync&) const {
      return customCompletion(path, argument, true);
    }
    std::string operator()(const CompletionKindV0::CustomDeprecated&) const {
      return customCompletion(path, argument, false);
    }
  };
  return std::visit(Visitor{path, argument}, argument.completionKind->value);
}

std::string completeLine(const CommandPath& path, const std::string& condition) {
  return "complete -c " + fishQuoted(path.names.front()) + " -n '" + singleQuoteEscaped(condition) +
         "'";
}

std::string namedArgumentLine(const CommandPath& path, const ArgumentInfoV0& argument) {
  std::vector<NameInfoV0> names = namesOf(argument);
  std::string condition =
      helper(path, "should_offer_completions_for_flags_or_options ") + commandPathText(path);
  if (!repeatsPerOccurrence(argument)) {
    for (const NameInfoV0& name : names)
      condition += " " + name.name;
  }
  std::string line = completeLine(path, condition);
  for (const NameInfoV0& name : names) {
    switch (name.kind) {
      case NameInfoV0::Kind::shortName:
        line += " -s " + fishQuoted(name.name);
        break;
      case NameInfoV0::Kind::longName:
        line += " -l " + fishQuoted(name.name);
        break;
      case NameInfoV0::Kind::longWithSingleDash:
        line += " -o " + fishQuoted(name.name);
        break;
    }
  }
  if (argument.abstract && !argument.abstract->empty())
    line += " -d " + fishQuoted(*argument.abstract);
  if (argument.kind != ArgumentInfoV0::Kind::flag) {
    line += " -" + std::string(takesValue(argument) ? "r" : "") + completionLetters(path, argument);
  }
  return line + "\n";
}

std::string positionalLine(const CommandPath& path, const ArgumentInfoV0& argument,
                           std::size_t position) {
  std::string condition = helper(path, "should_offer_completions_for_positional ") +
                          commandPathText(path) + " " + std::to_string(position) +
                          (argument.isRepeating ? " -ge" : "");
  return completeLine(path, condition) + " -" + completionLetters(path, argument) + "\n";
}

std::string subcommandLine(const CommandPath& path, const CommandInfoV0& subcommand) {
  std::string condition = helper(path, "should_offer_completions_for_positional ") +
                          commandPathText(path) + " " +
                          std::to_string(allPositionals(*path.command).size() + 1);
  return completeLine(path, condition) + " -fa " + fishQuoted(subcommand.commandName) + " -d " +
         fishQuoted(subcommand.abstract.value_or("")) + "\n";
}

std::string completeLines(const CommandPath& path) {
  const CommandInfoV0& command = *path.command;
  std::string text;
  for (const ArgumentInfoV0* argument : offeredArguments(command)) {
    if (isNamed(*argument) && !namesOf(*argument).empty())
      text += namedArgumentLine(path, *argument);
  }
  std::vector<const ArgumentInfoV0*> positionals = allPositionals(command);
  for (const ArgumentInfoV0* positional : offeredPositionals(command)) {
    std::size_t position =
        std::find(positionals.begin(), positionals.end(), positional) - positionals.begin() + 1;
    text += positionalLine(path, *positional, position);
  }
  for (const CommandInfoV0* subcommand : offeredSubcommands(command))
    text += subcommandLine(path, *subcommand);
  return text;
}

const char* const helperFunctions =
    R"fish(function __%ROOT%_should_offer_completions_for_flags_or_options -a expected_commands
    set -l non_repeating_flags_or_options $argv[2..-1]
    set -l unparsed_tokens
    set -l commands
    set -l positional_index 0
    set -l present_flags_or_options
    __%ROOT%_parse_tokens
    test "$commands" = "$expected_commands"; or return 1
    for name in $non_repeating_flags_or_options
        contains -- $name $present_flags_or_options; and return 1
    end
    return 0
end

function __%ROOT%_should_offer_completions_for_positional -a expected_commands expected_positional_index positional_index_comparison
    if test -z "$positional_index_comparison"
        set positional_index_comparison -eq
    end
    set -l unparsed_tokens
    set -l commands
    set -l positional_index 0
    set -l present_flags_or_options
    __%ROOT%_parse_tokens
    test "$commands" = "$expected_commands" -a "$positional_index" "$positional_index_comparison" "$expected_positional_index"
end

function __%ROOT%_parse_tokens -S
    set unparsed_tokens (__%ROOT%_tokens -pc)
    # The program may have been started by its path.
    set unparsed_tokens[1] (string replace -r -- '^.*/' '' "$unparsed_tokens[1]")
    switch "$unparsed_tokens[1]"
)fish";

const char* const helperFunctionsAfterParse = R"fish(    end
end

function __%ROOT%_tokens
    if test (string split -m 1 -f 1 -- . "$FISH_VERSION") -gt 3
        commandline --tokens-raw $argv
    else
        commandline -o $argv
    end
end

function __%ROOT%_parse_subcommand -S
    set -l unlimited_positionals false
    if test "$argv[1]" = -r
        set unlimited_positionals true
        set -e argv[1]
    end
    set -l positional_count $argv[1]
    set -l option_specs $argv[2..-1]
    set -l option_names
    if set -q option_specs[1]
        set option_names (string replace -r -- '[=+]+$' '' $option_specs | string split -- /)
    end

    set -a commands $unparsed_tokens[1]
    set -e unparsed_tokens[1]
    set positional_index 1
    set present_flags_or_options

    while true
        argparse -s -n "$commands" $option_specs -- $unparsed_tokens 2>/dev/null
        or return 1
        set unparsed_tokens $argv
        for name in $option_names
            if set -q _flag_(string replace -a -- - _ $name)
                contains -- $name $present_flags_or_options
                or set -a present_flags_or_options $name
            end
        end
        if not set -q unparsed_tokens[1]
            return 0
        end
        if test $unlimited_positionals = false -a $positional_index -gt $positional_count
            return 0
        end
        set positional_index (math $positional_index + 1)
        set -e unparsed_tokens[1]
    end
end

function __%ROOT%_complete_directories
    set -l directories (commandline -ct)*/
    if set -q directories[1]
        printf '%s\n' $directories
    end
end

function __%ROOT%_custom_completion
    set -x SAP_SHELL fish
    set -x SAP_SHELL_VERSION $FISH_VERSION

    set -l tokens (__%ROOT%_tokens -p)
    set -l current_token (commandline -ct)
    if test -z "$current_token"
        set -l index (count (__%ROOT%_tokens -pc))
        set tokens $tokens[1..$index] '' $tokens[(math $index + 1)..-1]
    end
    command $tokens[1] $argv $tokens
end

)fish";

}  // namespace

std::string fishCompletionScript(const CommandInfoV0& root) {
  std::vector<CommandPath> commands = offeredCommands(root);
  std::string script = withRootName(helperFunctions, root.commandName);
  script += parseCase(commands.front(), commands, 1);
  script += withRootName(helperFunctionsAfterParse, root.commandName);
  script += "complete -c " + fishQuoted(root.commandName) + " -f\n";
  for (const CommandPath& path : commands)
    script += completeLines(path);
  return script;
}

}  // namespace argparse
