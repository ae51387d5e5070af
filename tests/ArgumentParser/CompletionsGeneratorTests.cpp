#include "ArgumentParser/CompletionsGenerator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CompletionsTestTree.h"

namespace argparse {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::sampleDump;
using ::testing::StartsWith;

// The text from "<name>() {" up to and including the closing "}\n".
std::string functionText(const std::string& script, const std::string& name) {
  std::size_t start = script.find("\n" + name + "() {\n");
  if (start == std::string::npos)
    return "";
  std::size_t end = script.find("\n}\n", start + 1);
  return script.substr(start + 1, end + 3 - (start + 1));
}

TEST(CompletionShellTest, RawValuesInDeclaredOrder) {
  EXPECT_EQ(rawValue(CompletionShell::zsh), "zsh");
  EXPECT_EQ(rawValue(CompletionShell::bash), "bash");
  EXPECT_EQ(rawValue(CompletionShell::fish), "fish");
  EXPECT_EQ(completionShellFromRaw("fish"), CompletionShell::fish);
  EXPECT_EQ(completionShellFromRaw("tcsh"), std::nullopt);
  EXPECT_EQ(completionShellFromRaw("Zsh"), std::nullopt);
  EXPECT_THROW(rawValue(static_cast<CompletionShell>(7)), std::logic_error);
}

TEST(ZshCompletionsTest, ScriptFrameAndHelperNames) {
  std::string script = completionScript(sampleDump(), CompletionShell::zsh);
  EXPECT_THAT(script, StartsWith("#compdef kestrune\n\n__kestrune_complete() {\n"));
  EXPECT_THAT(script, HasSubstr("\n__kestrune_custom_complete() {\n"));
  EXPECT_THAT(script, HasSubstr("\n__kestrune_cursor_index_in_current_word() {\n"));
  EXPECT_THAT(script, EndsWith("if [[ \"${funcstack[1]}\" = \"_kestrune\" ]]; then\n"
                               "    _kestrune \"${@}\"\n"
                               "else\n"
                               "    compdef _kestrune kestrune\n"
                               "fi\n"));
  // Root first, then each command followed by its descendants; hyphens kept.
  std::vector<std::string> order = {"_kestrune() {",
                                    "_kestrune_volume() {",
                                    "_kestrune_volume_get() {",
                                    "_kestrune_volume_set() {",
                                    "_kestrune_silent-mode() {",
                                    "_kestrune_silent-mode_toggle() {",
                                    "_kestrune_device() {",
                                    "_kestrune_device_current() {",
                                    "_kestrune_app() {",
                                    "_kestrune_app_mute() {",
                                    "_kestrune_help() {"};
  std::size_t last = 0;
  for (const std::string& header : order) {
    std::size_t found = script.find("\n" + header + "\n");
    ASSERT_NE(found, std::string::npos) << header;
    EXPECT_GT(found, last) << header;
    last = found;
  }
}

TEST(ZshCompletionsTest, HiddenCommandsAndArgumentsAreNotOffered) {
  std::string script = completionScript(sampleDump(), CompletionShell::zsh);
  EXPECT_THAT(script, Not(HasSubstr("debug")));
  EXPECT_THAT(script, Not(HasSubstr("generate-completion-script")));
}

TEST(ZshCompletionsTest, RootSetsUpTheEnvironmentAndOffersSubcommands) {
  std::string root =
      functionText(completionScript(sampleDump(), CompletionShell::zsh), "_kestrune");
  EXPECT_THAT(root, HasSubstr("    emulate -RL zsh -G\n"
                              "    setopt extendedglob nullglob numericglobsort\n"
                              "    unsetopt aliases banghist\n"));
  EXPECT_THAT(root, HasSubstr("    local -xr SAP_SHELL=zsh\n"));
  EXPECT_THAT(
      root,
      HasSubstr("SAP_SHELL_VERSION=\"$(builtin emulate zsh -c 'printf %s \"${ZSH_VERSION}\"')\"\n"
                "    local -r SAP_SHELL_VERSION\n"));
  EXPECT_THAT(root, HasSubstr("    local -ar arg_specs=(\n"
                              "        '--version[Show the version.]'\n"
                              "        '(-h --help)'{-h,--help}'[Show help information.]'\n"
                              "        '(-): :->command'\n"
                              "        '(-)*:: :->arg'\n"
                              "    )\n"
                              "    _arguments -w -s -S : \"${arg_specs[@]}\" && ret=0\n"));
  // Help texts escaped for _describe and single quotes.
  EXPECT_THAT(root, HasSubstr("            'silent-mode:Silent mode\\: it'\\''s \"quiet\"'\n"));
  EXPECT_THAT(root, HasSubstr("            'app:Per-app control\\: volume \\[0-100\\]'\n"));
  EXPECT_THAT(
      root,
      HasSubstr(
          "        silent-mode)\n            \"_kestrune_${words[1]}\"\n            ret=0\n"));
}

TEST(ZshCompletionsTest, LeafWithListAndCustomPositionals) {
  EXPECT_EQ(
      functionText(completionScript(sampleDump(), CompletionShell::zsh), "_kestrune_app_mute"),
      "_kestrune_app_mute() {\n"
      "    local -i ret=1\n"
      "    local -ar _action=('on' 'off' 'toggle')\n"
      "    local -ar arg_specs=(\n"
      "        '--json[Output as JSON]'\n"
      "        '--socket[Custom socket path]:socket:'\n"
      "        '(-h --help)'{-h,--help}'[Show help information.]'\n"
      "        ':app-name:{__kestrune_custom_complete ---completion app mute -- positional@0 "
      "\"${current_word_index}\" \"$(__kestrune_cursor_index_in_current_word)\"}'\n"
      "        ':action:{__kestrune_complete \"${_action[@]}\"}'\n"
      "    )\n"
      "    _arguments -w -s -S : \"${arg_specs[@]}\" && ret=0\n"
      "\n"
      "    return \"${ret}\"\n"
      "}\n");
}

TEST(ZshCompletionsTest, ActionsByCompletionKind) {
  ToolInfoV0 dump;
  dump.command = testing::command(
      "tool", "",
      {testing::option("input", "", CompletionKindV0{CompletionKindV0::File{}}),
       testing::option("config", "", CompletionKindV0{CompletionKindV0::File{{"json", "yml"}}}),
       testing::option("dir", "", CompletionKindV0{CompletionKindV0::Directory{}}),
       testing::option(
           "user", "",
           CompletionKindV0{CompletionKindV0::ShellCommand{"cut -d: -f1 '/etc/passwd'"}}),
       testing::option("old", "", CompletionKindV0{CompletionKindV0::CustomDeprecated{}}),
       testing::option("mode", "", testing::listOf({"a:b", "it's"}))});
  std::string function = functionText(completionScript(dump, CompletionShell::zsh), "_tool");
  EXPECT_THAT(function, HasSubstr("'--input:input:_files'\n"));
  EXPECT_THAT(function, HasSubstr("'--config:config:_files -g '\\''*.json *.yml'\\'''\n"));
  EXPECT_THAT(function, HasSubstr("'--dir:dir:_files -/'\n"));
  EXPECT_THAT(
      function,
      HasSubstr("'--user:user:{local -a list;list=(${(f)\"$(cut -d: -f1 '\\''/etc/passwd'\\'')\"});"
                "_describe -V \"\" list}'\n"));
  EXPECT_THAT(function, HasSubstr("'--old:old:{__tool_custom_complete ---completion -- --old}'\n"));
  EXPECT_THAT(function, HasSubstr("    local -ar ___mode=('a\\:b' 'it'\\''s')\n"));
  EXPECT_THAT(function, HasSubstr("'--mode:mode:{__tool_complete \"${___mode[@]}\"}'\n"));
}

TEST(ZshCompletionsTest, EscapesBackslashesBeforeColonsAndBrackets) {
  ToolInfoV0 dump;
  dump.command = testing::command("tool", "", {testing::option("path", "A\\B: [x] 'y'")});
  EXPECT_THAT(completionScript(dump, CompletionShell::zsh),
              HasSubstr("'--path[A\\\\B\\: \\[x\\] '\\''y'\\'']:path:'\n"));
}

TEST(ZshCompletionsTest, RepeatingArguments) {
  ToolInfoV0 dump;
  ArgumentInfoV0 verbose =
      testing::flag({testing::shortName("v"), testing::longName("verbose")}, "Louder");
  verbose.isRepeating = true;
  ArgumentInfoV0 tag = testing::option("tag", "");
  tag.isRepeating = true;
  ArgumentInfoV0 files = testing::positional("files", "");
  files.isRepeating = true;
  dump.command =
      testing::command("tool", "", {verbose, tag, files, testing::positional("ignored", "")});
  std::string function = functionText(completionScript(dump, CompletionShell::zsh), "_tool");
  EXPECT_THAT(function, HasSubstr("        '*'{-v,--verbose}'[Louder]'\n"
                                  "        '*--tag:tag:'\n"
                                  "        '*:files:'\n"
                                  "    )\n"));
}

TEST(ZshCompletionsTest, AliasedSubcommandCallsItsOwnFunction) {
  ToolInfoV0 dump;
  CommandInfoV0 list = testing::command("list", "List", {});
  list.aliases = std::vector<std::string>{"ls"};
  dump.command = testing::command("tool", "", {}, {list});
  EXPECT_THAT(completionScript(dump, CompletionShell::zsh),
              HasSubstr("        list|ls)\n            \"_tool_list\"\n            ret=0\n"));
}

TEST(FishCompletionsTest, CompleteLines) {
  std::string script = completionScript(sampleDump(), CompletionShell::fish);
  EXPECT_THAT(script, HasSubstr("\ncomplete -c 'kestrune' -f\n"));
  EXPECT_THAT(script,
              HasSubstr("complete -c 'kestrune' -n "
                        "'__kestrune_should_offer_completions_for_positional \"kestrune\" 1' "
                        "-fa 'silent-mode' -d 'Silent mode: it'\\''s \"quiet\"'\n"));
  EXPECT_THAT(
      script,
      HasSubstr(
          "complete -c 'kestrune' -n '__kestrune_should_offer_completions_for_flags_or_options "
          "\"kestrune volume set\" socket' -l 'socket' -d 'Custom socket path' -rfka ''\n"));
  EXPECT_THAT(
      script,
      HasSubstr(
          "complete -c 'kestrune' -n '__kestrune_should_offer_completions_for_flags_or_options "
          "\"kestrune volume set\" h help' -s 'h' -l 'help' -d 'Show help information.'\n"));
  EXPECT_THAT(
      script,
      HasSubstr("complete -c 'kestrune' -n '__kestrune_should_offer_completions_for_positional "
                "\"kestrune app mute\" 2' -fka 'on off toggle'\n"));
  EXPECT_THAT(
      script,
      HasSubstr(
          "complete -c 'kestrune' -n '__kestrune_should_offer_completions_for_positional "
          "\"kestrune app mute\" 1' -fka '(__kestrune_custom_completion ---completion app mute "
          "-- positional@0 (count (__kestrune_tokens -pc)) (commandline -ct | string length))'\n"));
  EXPECT_THAT(
      script,
      HasSubstr("complete -c 'kestrune' -n '__kestrune_should_offer_completions_for_positional "
                "\"kestrune help\" 1 -ge' -fka ''\n"));
  EXPECT_THAT(script, Not(HasSubstr("debug")));
  EXPECT_THAT(script, Not(HasSubstr("generate-completion-script'  -")));
}

TEST(FishCompletionsTest, TokenParserFollowsTheTree) {
  std::string script = completionScript(sampleDump(), CompletionShell::fish);
  EXPECT_THAT(
      script,
      HasSubstr(
          "    switch \"$unparsed_tokens[1]\"\n"
          "    case 'kestrune'\n"
          "        __kestrune_parse_subcommand 0 'version' 'h/help' 'generate-completion-script='\n"
          "        switch \"$unparsed_tokens[1]\"\n"
          "        case 'volume'\n"
          "            __kestrune_parse_subcommand 0 'h/help'\n"
          "            switch \"$unparsed_tokens[1]\"\n"
          "            case 'get'\n"
          "                __kestrune_parse_subcommand 0 'json' 'socket=' 'h/help'\n"
          "            case 'set'\n"
          "                __kestrune_parse_subcommand 1 'json' 'socket=' 'h/help'\n"
          "            case '*'\n"));
  EXPECT_THAT(script,
              HasSubstr("        case 'help'\n            __kestrune_parse_subcommand -r 0\n"));
}

TEST(FishCompletionsTest, EscapesQuotesAndBackslashes) {
  ToolInfoV0 dump;
  dump.command = testing::command(
      "tool", "", {testing::option("path", "A\\B 'y'", testing::listOf({"two words"}))});
  EXPECT_THAT(completionScript(dump, CompletionShell::fish),
              HasSubstr("-l 'path' -d 'A\\\\B '\\''y'\\''' -rfka ''\\''two words'\\'''\n"));
}

TEST(BashCompletionsTest, ScriptFrame) {
  std::string script = completionScript(sampleDump(), CompletionShell::bash);
  EXPECT_THAT(script, StartsWith("#!/bin/bash\n\n__kestrune_cursor_index_in_current_word() {\n"));
  std::size_t offer = script.find("\n__kestrune_offer_flags_options() {\n");
  std::size_t add = script.find("\n__kestrune_add_completions() {\n");
  std::size_t custom = script.find("\n__kestrune_custom_complete() {\n");
  EXPECT_TRUE(offer != std::string::npos && offer < add && add < custom &&
              custom != std::string::npos);
  EXPECT_THAT(script, HasSubstr("\n_kestrune_silent-mode_toggle() {\n"));
  EXPECT_THAT(script, EndsWith("\ncomplete -o filenames -F _kestrune kestrune\n"));
}

TEST(BashCompletionsTest, LeafFunction) {
  EXPECT_EQ(
      functionText(completionScript(sampleDump(), CompletionShell::bash), "_kestrune_app_mute"),
      "_kestrune_app_mute() {\n"
      "    local -a repeating_flags=()\n"
      "    local -a non_repeating_flags=('--json' '-h --help')\n"
      "    local -a repeating_options=()\n"
      "    local -a non_repeating_options=('--socket')\n"
      "    __kestrune_offer_flags_options 2 0\n"
      "\n"
      "    # Descend into the subcommand named next\n"
      "    if [[ \"${#unparsed_words[@]}\" -gt 0 ]]; then\n"
      "        local -r subcommand=\"${unparsed_words[0]}\"\n"
      "        unparsed_words=(\"${unparsed_words[@]:1}\")\n"
      "        return\n"
      "    fi\n"
      "\n"
      "    # Offer option value completions\n"
      "    if [[ \"${expecting_option_value}\" -eq 1 ]]; then\n"
      "        case \"${prev}\" in\n"
      "        '--socket')\n"
      "            return\n"
      "            ;;\n"
      "        esac\n"
      "        return\n"
      "    fi\n"
      "\n"
      "    # Offer positional completions\n"
      "    case \"${positional_number}\" in\n"
      "    1)\n"
      "        __kestrune_custom_complete ---completion app mute -- positional@0 \"${COMP_CWORD}\" "
      "\"$(__kestrune_cursor_index_in_current_word)\"\n"
      "        return\n"
      "        ;;\n"
      "    2)\n"
      "        __kestrune_add_completions -W $'on\\noff\\ntoggle'\n"
      "        return\n"
      "        ;;\n"
      "    esac\n"
      "\n"
      "}\n");
}

}  // namespace
}  // namespace argparse
