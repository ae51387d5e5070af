// The bash script: one function per command that walks the words typed so
// far, then offers option values, positional values, subcommands or the
// command's flags and options.

#include <algorithm>
#include <variant>

#include "ArgumentParser/CompletionsGenerator.h"

namespace argparse {

using namespace completion_support;

namespace {

std::string helper(const CommandPath& path, std::string_view suffix) {
  return "__" + path.names.front() + "_" + std::string(suffix);
}

std::string functionName(const CommandPath& path) {
  return "_" + joined(path.names, "_");
}

// $'...' quoting, so that a newline can separate the words of a list.
std::string ansiQuoted(std::string_view text) {
  std::string quoted = "$'";
  for (char character : text) {
    if (character == '\\' || character == '\'') {
      quoted += '\\';
      quoted += character;
    } else if (character == '\n') {
      quoted += "\\n";
    } else {
      quoted += character;
    }
  }
  return quoted + "'";
}

std::string wordList(const std::vector<std::string>& words) {
  return ansiQuoted(joined(words, "\n"));
}

std::string fileCompletion(const CommandPath& path, const std::vector<std::string>& extensions) {
  if (extensions.empty())
    return helper(path, "add_completions") + " -f";
  // Files with one of the extensions, and directories to descend into.
  return helper(path, "add_completions") + " -o plusdirs -f -X " +
         singleQuoted("!*.@(" + joined(extensions, "|") + ")");
}

std::string customCompletion(const CommandPath& path, const ArgumentInfoV0& argument,
                             bool withPositions) {
  std::string call = helper(path, "custom_complete") + " " + callbackArguments(path, argument);
  if (withPositions)
    call += " \"${COMP_CWORD}\" \"$(" + helper(path, "cursor_index_in_current_word") + ")\"";
  return call;
}

// The statement that offers an argument's values; empty for the default kind.
std::string valueCompletion(const CommandPath& path, const ArgumentInfoV0& argument) {
  if (!argument.completionKind)
    return "";
  struct Visitor {
    const CommandPath& path;
    const ArgumentInfoV0& argument;
    std::string operator()(const CompletionKindV0::List& list) const {
      return helper(path, "add_completions") + " -W " + wordList(list.values);
    }
    std::string operator()(const CompletionKindV0::File& file) const {
      return fileCompletion(path, file.extensions);
    }
    std::string operator()(const CompletionKindV0::Directory&) const {
      return helper(path, "add_completions") + " -d";
    }
    std::string operator()(const CompletionKindV0::ShellCommand& shell) const {
      return helper(path, "add_completions") + " -W \"$(" + shell.command + ")\"";
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

std::string caseBranch(const std::string& pattern, const std::string& statement) {
  std::string text = "    " + pattern + ")\n";
  if (!statement.empty())
    text += "        " + statement + "\n";
  return text + "        return\n        ;;\n";
}

// The names of one argument, space-separated, as one array element.
std::string nameGroup(const ArgumentInfoV0& argument) {
  std::vector<std::string> names;
  for (const NameInfoV0& name : namesOf(argument))
    names.push_back(dashedName(name));
  return singleQuoted(joined(names, " "));
}

std::string nameArrays(const CommandInfoV0& command) {
  std::vector<std::string> repeatingFlags, nonRepeatingFlags, repeatingOptions, nonRepeatingOptions;
  for (const ArgumentInfoV0* argument : offeredArguments(command)) {
    if (!isNamed(*argument) || namesOf(*argument).empty())
      continue;
    bool repeats = repeatsPerOccurrence(*argument);
    if (takesValue(*argument)) {
      (repeats ? repeatingOptions : nonRepeatingOptions).push_back(nameGroup(*argument));
    } else {
      (repeats ? repeatingFlags : nonRepeatingFlags).push_back(nameGroup(*argument));
    }
  }
  return "    local -a repeating_flags=(" + joined(repeatingFlags, " ") + ")\n" +
         "    local -a non_repeating_flags=(" + joined(nonRepeatingFlags, " ") + ")\n" +
         "    local -a repeating_options=(" + joined(repeatingOptions, " ") + ")\n" +
         "    local -a non_repeating_options=(" + joined(nonRepeatingOptions, " ") + ")\n";
}

std::string subcommandDispatch(const CommandPath& path,
                               const std::vector<const CommandInfoV0*>& subcommands) {
  std::string text =
      "    # Descend into the subcommand named next\n"
      "    if [[ \"${#unparsed_words[@]}\" -gt 0 ]]; then\n"
      "        local -r subcommand=\"${unparsed_words[0]}\"\n"
      "        unparsed_words=(\"${unparsed_words[@]:1}\")\n";
  if (subcommands.empty())
    return text + "        return\n    fi\n\n";
  text += "        case \"${subcommand}\" in\n";
  for (const CommandInfoV0* subcommand : subcommands) {
    std::vector<std::string> patterns{singleQuoted(subcommand->commandName)};
    if (subcommand->aliases) {
      for (const std::string& alias : *subcommand->aliases)
        patterns.push_back(singleQuoted(alias));
    }
    text += "        " + joined(patterns, "|") + ")\n            " + functionName(path) + "_" +
            subcommand->commandName + "\n            ;;\n";
  }
  return text + "        esac\n        return\n    fi\n\n";
}

const char* const rootPreamble = R"bash(    trap "$(shopt -p extglob);trap - RETURN" RETURN
    shopt -s extglob

    local -xr SAP_SHELL=bash
    local -x SAP_SHELL_VERSION
    SAP_SHELL_VERSION="$(IFS='.';printf %s "${BASH_VERSINFO[*]}")"
    local -r SAP_SHELL_VERSION

    local -r cur="${2}"
    local prev="${3}"
    # An option's value given after "=" follows it as a separate word.
    if [[ "${prev}" == '=' && "${COMP_CWORD}" -ge 2 ]]; then
        prev="${COMP_WORDS[COMP_CWORD-2]}"
    fi
    local -a unparsed_words=("${COMP_WORDS[@]:1:COMP_CWORD-1}")
    local -i positional_number=0 expecting_option_value=0

)bash";

std::string commandFunction(const CommandPath& path, bool isRoot) {
  const CommandInfoV0& command = *path.command;
  std::vector<const CommandInfoV0*> subcommands = offeredSubcommands(command);
  std::string text = functionName(path) + "() {\n";
  if (isRoot)
    text += rootPreamble;
  text += nameArrays(command);
  std::string positionalCount =
      hasRepeatingPositional(command) ? "-1" : std::to_string(allPositionals(command).size());
  text += "    " + helper(path, "offer_flags_options") + " " + positionalCount + " " +
          (subcommands.empty() ? "0" : "1") + "\n\n";
  text += subcommandDispatch(path, subcommands);

  std::string optionBranches;
  for (const ArgumentInfoV0* argument : offeredArguments(command)) {
    if (!takesValue(*argument) || namesOf(*argument).empty())
      continue;
    std::vector<std::string> patterns;
    for (const NameInfoV0& name : namesOf(*argument))
      patterns.push_back(singleQuoted(dashedName(name)));
    optionBranches += caseBranch(joined(patterns, "|"), valueCompletion(path, *argument));
  }
  text +=
      "    # Offer option value completions\n    if [[ \"${expecting_option_value}\" -eq 1 ]]; "
      "then\n";
  if (!optionBranches.empty()) {
    text += "        case \"${prev}\" in\n";
    // Indented one level deeper than a plain case.
    std::string indented;
    std::size_t start = 0;
    while (start < optionBranches.size()) {
      std::size_t end = optionBranches.find('\n', start);
      indented += "    " + optionBranches.substr(start, end - start + 1);
      start = end + 1;
    }
    text += indented + "        esac\n";
  }
  text += "        return\n    fi\n\n";

  std::vector<const ArgumentInfoV0*> positionals = allPositionals(command);
  std::string positionalBranches;
  for (const ArgumentInfoV0* positional : offeredPositionals(command)) {
    std::size_t number =
        std::find(positionals.begin(), positionals.end(), positional) - positionals.begin() + 1;
    std::string pattern = positional->isRepeating ? "*" : std::to_string(number);
    positionalBranches += caseBranch(pattern, valueCompletion(path, *positional));
  }
  if (!positionalBranches.empty()) {
    text += "    # Offer positional completions\n    case \"${positional_number}\" in\n" +
            positionalBranches + "    esac\n\n";
  }

  if (!subcommands.empty()) {
    std::vector<std::string> names;
    names.reserve(subcommands.size());
    for (const CommandInfoV0* subcommand : subcommands)
      names.push_back(subcommand->commandName);
    text += "    # Offer subcommand completions\n    " + helper(path, "add_completions") + " -W " +
            wordList(names) + "\n";
  }
  return text + "}\n\n";
}

const char* const helperFunctions = R"bash(#!/bin/bash

__%ROOT%_cursor_index_in_current_word() {
    local remaining="${COMP_LINE}"
    local word
    for word in "${COMP_WORDS[@]::COMP_CWORD}"; do
        remaining="${remaining#"${remaining%%[![:space:]]*}"}"
        remaining="${remaining#"${word}"}"
    done
    remaining="${remaining#"${remaining%%[![:space:]]*}"}"
    local -ir index="$((COMP_POINT - ${#COMP_LINE} + ${#remaining}))"
    if [[ "${index}" -le 0 ]]; then
        printf 0
    else
        printf %s "${index}"
    fi
}

# Walks the words of the current command: drops the flags and options already
# given from the offer, counts positionals and stops at a subcommand name.
# Offers the flags and options when the current word starts with "-" or
# nothing else can follow.
# $1: the number of positionals (-1: unlimited); $2: 1 when subcommands follow.
__%ROOT%_offer_flags_options() {
    local -ir positional_count="${1}"
    local -ir has_subcommands="${2}"
    positional_number=1
    expecting_option_value=0
    local -i terminated=0 takes_value index
    local word name
    while [[ "${#unparsed_words[@]}" -gt 0 ]]; do
        word="${unparsed_words[0]}"
        if [[ "${terminated}" -eq 0 && "${word}" == -?* ]]; then
            unparsed_words=("${unparsed_words[@]:1}")
            if [[ "${word}" == -- ]]; then
                terminated=1
                continue
            fi
            name="${word%%=*}"
            takes_value=0
            for index in "${!non_repeating_flags[@]}"; do
                if [[ " ${non_repeating_flags[index]} " == *" ${name} "* ]]; then
                    unset 'non_repeating_flags[index]'
                fi
            done
            for index in "${!non_repeating_options[@]}"; do
                if [[ " ${non_repeating_options[index]} " == *" ${name} "* ]]; then
                    unset 'non_repeating_options[index]'
                    takes_value=1
                fi
            done
            for index in "${!repeating_options[@]}"; do
                if [[ " ${repeating_options[index]} " == *" ${name} "* ]]; then
                    takes_value=1
                fi
            done
            if [[ "${takes_value}" -eq 1 && "${word}" != *=* ]]; then
                if [[ "${unparsed_words[0]}" == '=' ]]; then
                    unparsed_words=("${unparsed_words[@]:1}")
                fi
                if [[ "${#unparsed_words[@]}" -eq 0 ]]; then
                    expecting_option_value=1
                    return
                fi
                unparsed_words=("${unparsed_words[@]:1}")
            fi
            continue
        fi
        if [[ "${positional_count}" -ge 0 && "${positional_number}" -gt "${positional_count}" ]]; then
            return
        fi
        positional_number+=1
        unparsed_words=("${unparsed_words[@]:1}")
    done
    if [[ "${cur}" == -* ]] ||
        [[ "${positional_count}" -ge 0 && "${positional_number}" -gt "${positional_count}" && "${has_subcommands}" -eq 0 ]]; then
        local -a offered
        read -ra offered <<<"${repeating_flags[*]} ${non_repeating_flags[*]} ${repeating_options[*]} ${non_repeating_options[*]}"
        __%ROOT%_add_completions -W "$(printf '%s\n' "${offered[@]}")"
    fi
}

__%ROOT%_add_completions() {
    local completion
    while IFS='' read -r completion; do
        COMPREPLY+=("${completion}")
    done < <(IFS=$'\n' compgen "${@}" -- "${cur}")
}

__%ROOT%_custom_complete() {
    local -a words=("${COMP_WORDS[@]}")
    # With the cursor between words, the empty word being completed is missing.
    if [[ -z "${cur}" && -n "${COMP_WORDS[COMP_CWORD]}" ]]; then
        words=("${words[@]::COMP_CWORD}" '' "${words[@]:COMP_CWORD}")
    fi
    local completion
    while IFS='' read -r completion; do
        if [[ -n "${completion}" && "${completion}" == "${cur}"* ]]; then
            COMPREPLY+=("${completion}")
        fi
    done < <("${COMP_WORDS[0]}" "${@}" "${words[@]}")
}

)bash";

}  // namespace

std::string bashCompletionScript(const CommandInfoV0& root) {
  std::string script = withRootName(helperFunctions, root.commandName);
  std::vector<CommandPath> commands = offeredCommands(root);
  for (std::size_t index = 0; index < commands.size(); ++index)
    script += commandFunction(commands[index], index == 0);
  return script + "complete -o filenames -F _" + root.commandName + " " + root.commandName + "\n";
}

}  // namespace argparse
