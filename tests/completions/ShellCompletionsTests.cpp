// The generated scripts loaded into real zsh, bash and fish: what each shell
// offers for a command line, and the custom-completion callback.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "ArgumentParser/CompletionsGenerator.h"
#include "ArgumentParser/CompletionsTestTree.h"
#include "ShellRunner.h"
#include "TemporaryDirectory.h"

namespace kestrune::testing {
namespace {

using Candidates = std::set<std::string>;

// Answers custom-completion calls as the program does (candidates, each
// followed by a line feed) and records how it was called.
constexpr const char* fakeProgram =
    "#!/bin/sh\n"
    "printf 'SAP_SHELL=%s SAP_SHELL_VERSION=%s ARGS=%s\\n' \"$SAP_SHELL\" \"$SAP_SHELL_VERSION\" "
    "\"$*\" "
    ">> \"$(dirname \"$0\")/../calls\"\n"
    "printf 'Music\\nSafari\\n'\n";

// A completion-driving zsh: an interactive zsh on a pseudo-terminal, with
// compadd wrapped so that every offered word is written to a file.
constexpr const char* zshSetup = R"zsh(PS1='> '
autoload -Uz compinit && compinit -u -D
source "${KESTRUNE_TEST_DIR}/_kestrune"
compadd() {
    if (( ${@[(I)-(O|A|D)]} )); then
        builtin compadd "$@"
        return
    fi
    local -a offered
    builtin compadd -O offered "$@"
    print -rl -- "${offered[@]}" >> "${KESTRUNE_TEST_DIR}/offered"
    builtin compadd "$@"
}
__test_complete() {
    zle complete-word
    print -r -- __END__ >> "${KESTRUNE_TEST_DIR}/offered"
}
zle -N __test_complete
bindkey '^I' __test_complete
)zsh";

constexpr const char* bashDriver = R"bash(source "${KESTRUNE_TEST_DIR}/kestrune.bash"
COMP_LINE="$1"
COMP_POINT=${#COMP_LINE}
read -ra COMP_WORDS <<<"$COMP_LINE"
if [[ "$COMP_LINE" == *' ' ]]; then COMP_WORDS+=(''); fi
COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
COMPREPLY=()
shopt -u extglob
_kestrune kestrune "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
printf '%s\n' "${COMPREPLY[@]}"
# The user's shell options come back unchanged.
shopt -q extglob && echo 'extglob left on'
)bash";

// Scripts and a fake program in a temporary directory, and a way to ask
// each shell what it offers for a command line.
class ShellHarness {
 public:
  ShellHarness() {
    std::filesystem::create_directory(directory_ / "bin");
    writeFile(directory_ / "bin/kestrune", fakeProgram);
    std::filesystem::permissions(directory_ / "bin/kestrune", std::filesystem::perms::owner_all);
    writeFile(directory_ / "setup.zsh", zshSetup);
    writeFile(directory_ / "drive.zsh", zshDriver);
    writeFile(directory_ / "drive.bash", bashDriver);
  }

  void useScripts(const std::string& zsh, const std::string& bash, const std::string& fish) {
    writeFile(directory_ / "_kestrune", zsh);
    writeFile(directory_ / "kestrune.bash", bash);
    writeFile(directory_ / "kestrune.fish", fish);
  }
  // Makes `kestrune` on the shells' path run `program` instead of the fake.
  void useProgram(const std::string& program) {
    std::filesystem::remove(directory_ / "bin/kestrune");
    std::filesystem::create_symlink(program, directory_ / "bin/kestrune");
  }

  Candidates zsh(const std::string& line) {
    std::filesystem::remove(directory_ / "offered");
    run("timeout 30 zsh -f " + shellQuoted(directory_ / "drive.zsh") + " " + shellQuoted(line));
    std::string offered = readFile(directory_ / "offered");
    Candidates candidates = candidateSet(offered);
    candidates.erase("__END__");
    return candidates;
  }
  Candidates bash(const std::string& line) {
    return candidateSet(
        run("timeout 30 bash " + shellQuoted(directory_ / "drive.bash") + " " + shellQuoted(line)));
  }
  Candidates fish(const std::string& line) {
    return candidateSet(run("timeout 30 fish -c " +
                            shellQuoted("source " + shellQuoted(directory_ / "kestrune.fish") +
                                        "; complete -C " + shellQuoted(line))));
  }

  int syntaxCheck(const std::string& shellCommand, const std::string& script) {
    return runCommand(shellCommand + " " + shellQuoted(directory_ / script) + " 2>&1").status;
  }
  std::string calls() { return readFile(directory_ / "calls"); }

 private:
  std::string run(const std::string& command) {
    return runCommand("cd " + shellQuoted(directory_.path()) +
                      " && KESTRUNE_TEST_DIR=" + shellQuoted(directory_.path()) +
                      " PATH=" + shellQuoted(directory_ / "bin") + ":\"$PATH\" " + command)
        .output;
  }

  TemporaryDirectory directory_;
};

#define REQUIRE_SHELL(name) \
  if (!hasProgram(name))    \
  GTEST_SKIP() << name " is not installed; its completion script was not tried"

std::string programOutput(const std::string& arguments) {
  return runCommand(shellQuoted(KESTRUNE_BINARY) + " " + arguments).output;
}

// The program's own scripts, in the shells.
class ProgramScriptsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // What `completions ... generate` prints ends with one extra line feed.
    harness_.useScripts(programOutput("completions zsh"),
                        programOutput("--generate-completion-script bash"),
                        programOutput("completions fish generate"));
    harness_.useProgram(KESTRUNE_BINARY);
  }
  ShellHarness harness_;
};

const Candidates topLevel = {"volume",  "mute",        "silent-mode", "device", "app",
                             "media",   "profile",     "bluetooth",   "panel",  "status",
                             "version", "completions", "help"};

TEST_F(ProgramScriptsTest, ScriptsPassTheShellsSyntaxChecks) {
  if (hasProgram("zsh")) {
    EXPECT_EQ(harness_.syntaxCheck("zsh -n", "_kestrune"), 0);
  }
  if (hasProgram("fish")) {
    EXPECT_EQ(harness_.syntaxCheck("fish --no-execute", "kestrune.fish"), 0);
  }
  EXPECT_EQ(harness_.syntaxCheck("bash -n", "kestrune.bash"), 0);
}

TEST_F(ProgramScriptsTest, Fish) {
  REQUIRE_SHELL("fish");
  EXPECT_EQ(harness_.fish("kestrune "), topLevel);
  EXPECT_EQ(harness_.fish("kestrune device current "), (Candidates{"input", "output"}));
  EXPECT_EQ(harness_.fish("kestrune app mute Music "), (Candidates{"on", "off", "toggle"}));
  EXPECT_EQ(harness_.fish("kestrune completions zsh "),
            (Candidates{"generate", "install", "uninstall"}));
  EXPECT_EQ(harness_.fish("kestrune volume set --"),
            (Candidates{"--json", "--socket", "--help", "--version"}));
  EXPECT_EQ(harness_.fish("kestrune volume set --json --"),
            (Candidates{"--socket", "--help", "--version"}));
}

TEST_F(ProgramScriptsTest, Bash) {
  EXPECT_EQ(harness_.bash("kestrune "), topLevel);
  EXPECT_EQ(harness_.bash("kestrune device current "), (Candidates{"input", "output"}));
  EXPECT_EQ(harness_.bash("kestrune app mute Music "), (Candidates{"on", "off", "toggle"}));
  EXPECT_EQ(harness_.bash("kestrune completions fish "),
            (Candidates{"generate", "install", "uninstall"}));
  EXPECT_EQ(harness_.bash("kestrune volume set --"),
            (Candidates{"--json", "--socket", "--help", "--version"}));
  EXPECT_EQ(harness_.bash("kestrune volume set --json --"),
            (Candidates{"--socket", "--help", "--version"}));
}

TEST_F(ProgramScriptsTest, Zsh) {
  REQUIRE_SHELL("zsh");
  EXPECT_EQ(harness_.zsh("kestrune "), topLevel);
  EXPECT_EQ(harness_.zsh("kestrune device current "), (Candidates{"input", "output"}));
  EXPECT_EQ(harness_.zsh("kestrune app mute Music "), (Candidates{"on", "off", "toggle"}));
  EXPECT_EQ(harness_.zsh("kestrune volume set --"),
            (Candidates{"--json", "--socket", "--help", "--version"}));
}

// Custom completions call the program back; a stand-in answers.
class CustomCompletionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    argparse::ToolInfoV0 dump = argparse::testing::sampleDump();
    harness_.useScripts(argparse::completionScript(dump, argparse::CompletionShell::zsh),
                        argparse::completionScript(dump, argparse::CompletionShell::bash),
                        argparse::completionScript(dump, argparse::CompletionShell::fish));
  }
  ShellHarness harness_;
};

TEST_F(CustomCompletionTest, Fish) {
  REQUIRE_SHELL("fish");
  std::string version = runCommand("fish -c 'printf %s $FISH_VERSION'").output;
  EXPECT_EQ(harness_.fish("kestrune app mute "), (Candidates{"Music", "Safari"}));
  EXPECT_EQ(harness_.fish("kestrune app mute Sa"), (Candidates{"Safari"}));
  EXPECT_EQ(harness_.calls(),
            "SAP_SHELL=fish SAP_SHELL_VERSION=" + version +
                " ARGS=---completion app mute -- positional@0 3 0 kestrune app mute \n"
                "SAP_SHELL=fish SAP_SHELL_VERSION=" +
                version +
                " ARGS=---completion app mute -- positional@0 3 2 kestrune app mute Sa\n");
}

TEST_F(CustomCompletionTest, Bash) {
  std::string version = runCommand("bash -c 'IFS=.; printf %s \"${BASH_VERSINFO[*]}\"'").output;
  EXPECT_EQ(harness_.bash("kestrune app mute "), (Candidates{"Music", "Safari"}));
  EXPECT_EQ(harness_.bash("kestrune app mute Sa"), (Candidates{"Safari"}));
  EXPECT_EQ(harness_.calls(),
            "SAP_SHELL=bash SAP_SHELL_VERSION=" + version +
                " ARGS=---completion app mute -- positional@0 3 0 kestrune app mute \n"
                "SAP_SHELL=bash SAP_SHELL_VERSION=" +
                version +
                " ARGS=---completion app mute -- positional@0 3 2 kestrune app mute Sa\n");
}

TEST_F(CustomCompletionTest, Zsh) {
  REQUIRE_SHELL("zsh");
  std::string version = runCommand("zsh -fc 'printf %s $ZSH_VERSION'").output;
  // Every line the program prints is offered, the last one included.
  EXPECT_EQ(harness_.zsh("kestrune app mute "), (Candidates{"Music", "Safari"}));
  EXPECT_EQ(harness_.calls(),
            "SAP_SHELL=zsh SAP_SHELL_VERSION=" + version +
                " ARGS=---completion app mute -- positional@0 3 0 kestrune app mute \n");
}

}  // namespace
}  // namespace kestrune::testing
