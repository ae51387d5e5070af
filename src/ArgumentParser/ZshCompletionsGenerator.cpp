// The zsh script: one function per command built on _arguments, helpers for
// fixed word lists and for calling the program back.

#include <variant>

#include "ArgumentParser/CompletionsGenerator.h"

namespace argparse {

using namespace completion_support;

namespace {

template <class... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};
template <class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

// Help texts inside an _arguments spec or a _describe entry, where
// backslash, colon and brackets are special.
std::string zshEscaped(std::string_view text) {
  std::string escaped;
  for (char character : text) {
    if (character == '\\') {
      escaped += "\\\\";
    } else if (character == ':' || character == '[' || character == ']') {
      escaped += '\\';
      escaped += character;
    } else {
      escaped += character;
    }
  }
  return singleQuoteEscaped(escaped);
}

std::string identifierSafe(std::string text) {
  for (char& character : text) {
    bool isWordCharacter = (character >= 'a' && character <= 'z') ||
                           (character >= 'A' && character <= 'Z') ||
                           (character >= '0' && character <= '9') || character == '_';
    if (!isWordCharacter)
      character = '_';
  }
  return text;
}

std::string listArrayName(const CommandInfoV0& command, const ArgumentInfoV0& argument) {
  if (!isNamed(argument)) {
    std::string valueName = argument.valueName.value_or(argumentIdentifier(command, argument));
    return "_" + identifierSafe(valueName);
  }
  std::vector<NameInfoV0> names = namesOf(argument);
  NameInfoV0 name = argument.preferredName.value_or(names.empty() ? NameInfoV0{} : names.front());
  return (name.kind == NameInfoV0::Kind::longName ? "___" : "__") + identifierSafe(name.name);
}

const CompletionKindV0::List* listCompletion(const ArgumentInfoV0& argument) {
  if (!argument.completionKind)
    return nullptr;
  return std::get_if<CompletionKindV0::List>(&argument.completionKind->value);
}

// The words are _describe candidates, whose colons would start a description.
std::string listWord(std::string_view word) {
  std::string escaped;
  for (char character : word) {
    if (character == ':' || character == '\\')
      escaped += '\\';
    escaped += character;
  }
  return singleQuoted(escaped);
}

std::string listDeclaration(const CommandInfoV0& command, const ArgumentInfoV0& argument) {
  std::string declaration = "    local -ar " + listArrayName(command, argument) + "=(";
  const std::vector<std::string>& values = listCompletion(argument)->values;
  for (std::size_t index = 0; index < values.size(); ++index) {
    if (index > 0)
      declaration += ' ';
    declaration += listWord(values[index]);
  }
  return declaration + ")\n";
}

std::string fileAction(const std::vector<std::string>& extensions) {
  if (extensions.empty())
    return "_files";
  std::string patterns;
  for (const std::string& extension : extensions) {
    if (!patterns.empty())
      patterns += ' ';
    patterns += "*." + extension;
  }
  // Nested inside the single-quoted argument spec.
  return "_files -g '\\''" + singleQuoteEscaped(singleQuoteEscaped(patterns)) + "'\\''";
}

std::string customAction(const CommandPath& path, const ArgumentInfoV0& argument,
                         bool withPositions) {
  const std::string& root = path.names.front();
  std::string action =
      "{__" + root + "_custom_complete " + singleQuoteEscaped(callbackArguments(path, argument));
  if (withPositions)
    action += " \"${current_word_index}\" \"$(__" + root + "_cursor_index_in_current_word)\"";
  return action + "}";
}

std::string action(const CommandPath& path, const ArgumentInfoV0& argument) {
  if (!argument.completionKind)
    return "";
  return std::visit(
      Overloaded{
          [&](const CompletionKindV0::List&) {
            return "{__" + path.names.front() + "_complete \"${" +
                   listArrayName(*path.command, argument) + "[@]}\"}";
          },
          [](const CompletionKindV0::File& file) { return fileAction(file.extensions); },
          [](const CompletionKindV0::Directory&) { return std::string("_files -/"); },
          [](const CompletionKindV0::ShellCommand& shell) {
            return "{local -a list;list=(${(f)\"$(" + singleQuoteEscaped(shell.command) +
                   ")\"});_describe -V \"\" list}";
          },
          [&](const CompletionKindV0::Custom&) { return customAction(path, argument, true); },
          [&](const CompletionKindV0::CustomAsync&) { return customAction(path, argument, true); },
          [&](const CompletionKindV0::CustomDeprecated&) {
            return customAction(path, argument, false);
          },
      },
      argument.completionKind->value);
}

std::string valueName(const ArgumentInfoV0& argument) {
  if (argument.valueName)
    return *argument.valueName;
  std::vector<NameInfoV0> names = namesOf(argument);
  return names.empty() ? "value" : names.front().name;
}

std::string argumentSpecification(const CommandPath& path, const ArgumentInfoV0& argument) {
  std::string valuePart = ":" + zshEscaped(valueName(argument)) + ":" + action(path, argument);
  if (!isNamed(argument))
    return "'" + std::string(argument.isRepeating ? "*" : "") + valuePart + "'";

  std::string rest;
  if (argument.abstract && !argument.abstract->empty())
    rest += "[" + zshEscaped(*argument.abstract) + "]";
  if (takesValue(argument))
    rest += valuePart;

  std::vector<NameInfoV0> names = namesOf(argument);
  std::string repeatMark = repeatsPerOccurrence(argument) ? "*" : "";
  if (names.size() == 1)
    return "'" + repeatMark + zshEscaped(dashedName(names.front())) + rest + "'";

  std::vector<std::string> dashed;
  dashed.reserve(names.size());
  for (const NameInfoV0& name : names)
    dashed.push_back(singleQuoteEscaped(dashedName(name)));
  std::string exclusion = repeatMark.empty() ? "(" + joined(dashed, " ") + ")" : repeatMark;
  return "'" + exclusion + "'{" + joined(dashed, ",") + "}'" + rest + "'";
}

const char* const helperFunctions = R"zsh(__%ROOT%_complete() {
    local -ar non_empty_completions=("${@:#(|:*)}")
    local -ar empty_completions=("${(M)@:#(|:*)}")
    _describe -V '' non_empty_completions -- empty_completions -P $'\'\''
}

__%ROOT%_custom_complete() {
    local -a completions
    local output
    # Keep the final line feed so that the text after it is the dropped last line.
    output="$("${command_name}" "${@}" "${command_line[@]}"; printf x)"
    output="${output%x}"
    completions=("${(@f)output}")
    if [[ "${#completions[@]}" -gt 1 ]]; then
        __%ROOT%_complete "${completions[@][1,-2]}"
    fi
}

__%ROOT%_cursor_index_in_current_word() {
    if [[ -z "${QIPREFIX}${IPREFIX}${PREFIX}" ]]; then
        printf 0
    else
        printf %s "${#${(z)LBUFFER}[-1]}"
    fi
}

)zsh";

const char* const rootPreamble = R"zsh(    emulate -RL zsh -G
    setopt extendedglob nullglob numericglobsort
    unsetopt aliases banghist

    local -xr SAP_SHELL=zsh
    local -x SAP_SHELL_VERSION
    SAP_SHELL_VERSION="$(builtin emulate zsh -c 'printf %s "${ZSH_VERSION}"')"
    local -r SAP_SHELL_VERSION

    local context state state_descr line
    local -A opt_args

    local -r command_name="${words[1]}"
    local -ar command_line=("${words[@]}")
    local -ir current_word_index="$((CURRENT - 1))"

)zsh";

std::string subcommandDispatch(const CommandPath& path,
                               const std::vector<const CommandInfoV0*>& subcommands) {
  std::string functionName = "_" + joined(path.names, "_");
  std::string text = "    case \"${state}\" in\n    command)\n        local -ar subcommands=(\n";
  for (const CommandInfoV0* subcommand : subcommands) {
    text += "            '" + zshEscaped(subcommand->commandName) + ":" +
            zshEscaped(subcommand->abstract.value_or("")) + "'\n";
  }
  text += "        )\n        _describe -V subcommand subcommands\n        ;;\n    arg)\n";
  text += "        case \"${words[1]}\" in\n";
  for (const CommandInfoV0* subcommand : subcommands) {
    std::vector<std::string> patterns{subcommand->commandName};
    if (subcommand->aliases)
      patterns.insert(patterns.end(), subcommand->aliases->begin(), subcommand->aliases->end());
    // An alias names no function of its own, so aliased commands call theirs by name.
    std::string callee = patterns.size() == 1
                             ? "\"" + functionName + "_${words[1]}\""
                             : "\"" + functionName + "_" + subcommand->commandName + "\"";
    text += "        " + joined(patterns, "|") + ")\n            " + callee +
            "\n            ret=0\n            ;;\n";
  }
  text += "        esac\n        ;;\n    esac\n\n";
  return text;
}

std::string commandFunction(const CommandPath& path, bool isRoot) {
  const CommandInfoV0& command = *path.command;
  std::string text = "_" + joined(path.names, "_") + "() {\n";
  if (isRoot)
    text += rootPreamble;  // names no helper
  text += "    local -i ret=1\n";

  std::vector<std::string> argSpecs;
  for (const ArgumentInfoV0* argument : offeredArguments(command)) {
    if (!isNamed(*argument))
      continue;
    if (listCompletion(*argument) && takesValue(*argument))
      text += listDeclaration(command, *argument);
    argSpecs.push_back(argumentSpecification(path, *argument));
  }
  for (const ArgumentInfoV0* positional : offeredPositionals(command)) {
    if (listCompletion(*positional))
      text += listDeclaration(command, *positional);
    argSpecs.push_back(argumentSpecification(path, *positional));
  }
  std::vector<const CommandInfoV0*> subcommands = offeredSubcommands(command);
  if (!subcommands.empty()) {
    argSpecs.push_back("'(-): :->command'");
    argSpecs.push_back("'(-)*:: :->arg'");
  }

  text += "    local -ar arg_specs=(\n";
  for (const std::string& argSpec : argSpecs)
    text += "        " + argSpec + "\n";
  text += "    )\n    _arguments -w -s -S : \"${arg_specs[@]}\" && ret=0\n\n";
  if (!subcommands.empty())
    text += subcommandDispatch(path, subcommands);
  text += "    return \"${ret}\"\n}\n\n";
  return text;
}

}  // namespace

std::string zshCompletionScript(const CommandInfoV0& root) {
  std::string script = "#compdef " + root.commandName + "\n\n";
  script += withRootName(helperFunctions, root.commandName);
  std::vector<CommandPath> commands = offeredCommands(root);
  for (std::size_t index = 0; index < commands.size(); ++index)
    script += commandFunction(commands[index], index == 0);
  std::string rootFunction = "_" + root.commandName;
  script += "if [[ \"${funcstack[1]}\" = \"" + rootFunction + "\" ]]; then\n    " + rootFunction +
            " \"${@}\"\nelse\n    compdef " + rootFunction + " " + root.commandName + "\nfi\n";
  return script;
}

}  // namespace argparse
