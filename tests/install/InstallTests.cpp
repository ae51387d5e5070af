// The build installed into a temporary DESTDIR with the prefix /usr, as a
// package would be: what lands where, and whether the shells and man take
// the completion scripts and pages from where they were put.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "completions/ShellRunner.h"
#include "completions/TemporaryDirectory.h"

namespace kestrune::testing {
namespace {

namespace fs = std::filesystem;
using Candidates = std::set<std::string>;

const std::string kZshDir = std::string("usr/") + KESTRUNE_INSTALL_ZSH_DIR;
const std::string kBashScript = "usr/share/bash-completion/completions/kestrune";
const std::string kFishScript = "usr/share/fish/vendor_completions.d/kestrune.fish";
const std::string kManDir = "usr/share/man/man1";

// Records what zsh offers and the edited line after one completion.
constexpr const char* zshSetup = R"zsh(PS1='> '
fpath=("${KESTRUNE_ZSH_DIR}" $fpath)
autoload -Uz compinit && compinit -u -D
__test_complete() {
    zle complete-word
    print -r -- "LINE:${BUFFER}" >> "${KESTRUNE_TEST_DIR}/offered"
    print -r -- __END__ >> "${KESTRUNE_TEST_DIR}/offered"
}
zle -N __test_complete
bindkey '^I' __test_complete
)zsh";

// bash-completion's loader finds the script on XDG_DATA_DIRS when the command
// is first completed; the function it registers is then called as readline
// would call it.
constexpr const char* bashDriver = R"bash(source /usr/share/bash-completion/bash_completion
__load_completion kestrune || { echo 'not loaded'; exit 1; }
read -ra spec <<<"$(complete -p kestrune)"
COMP_LINE="$1"
COMP_POINT=${#COMP_LINE}
read -ra COMP_WORDS <<<"$COMP_LINE"
COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
COMPREPLY=()
"${spec[-2]}" kestrune "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
printf '%s\n' "${COMPREPLY[@]}"
)bash";

class InstallTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    destination_ = std::make_unique<TemporaryDirectory>();
    installOutput_ = runCommand("DESTDIR=" + shellQuoted(destination_->path()) + " " +
                                shellQuoted(KESTRUNE_CMAKE) + " --install " +
                                shellQuoted(KESTRUNE_BUILD_DIR) + " --prefix /usr 2>&1")
                         .output;
    home_ = std::make_unique<TemporaryDirectory>();
    fs::create_directory(*home_ / "work");
    writeFile(*home_ / "work/setup.zsh", zshSetup);
    writeFile(*home_ / "work/drive.zsh", zshDriver);
    writeFile(*home_ / "work/drive.bash", bashDriver);
  }
  static void TearDownTestSuite() {
    destination_.reset();
    home_.reset();
  }

  static std::string installed(const std::string& relative) { return *destination_ / relative; }

  // A shell with an empty home, the installed programs first on PATH and the
  // installed data directory as the only one.
  static std::string inShell(const std::string& command) {
    return runCommand(
               "cd " + shellQuoted(*home_ / "work") + " && env -u XDG_DATA_HOME -u " +
               "XDG_CONFIG_HOME -u BASH_COMPLETION_USER_DIR HOME=" + shellQuoted(home_->path()) +
               " KESTRUNE_TEST_DIR=" + shellQuoted(*home_ / "work") +
               " KESTRUNE_ZSH_DIR=" + shellQuoted(installed(kZshDir)) +
               " XDG_DATA_DIRS=" + shellQuoted(installed("usr/share")) +
               " PATH=" + shellQuoted(installed("usr/bin")) + ":\"$PATH\" " + command + " 2>&1")
        .output;
  }

  // The installation is made once for the suite.
  static inline std::unique_ptr<TemporaryDirectory> destination_;
  static inline std::string installOutput_;
  static inline std::unique_ptr<TemporaryDirectory> home_;
};

#define REQUIRE_PROGRAM(name, package) \
  if (!hasProgram(name))               \
  GTEST_SKIP() << name " is not installed here (apt-get install " package ")"

std::set<std::string> filesUnder(const std::string& root) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_directory()) {
      // Lexically: fs::relative would resolve a link to its target.
      files.insert(entry.path().lexically_relative(root).string());
    }
  }
  return files;
}

TEST_F(InstallTest, PutsEveryFileUnderThePrefixAndNothingElse) {
  const std::string lib = std::string("usr/") + KESTRUNE_INSTALL_LIBDIR;
  std::set<std::string> expected = {
      "usr/bin/kestrune",
      "usr/lib/kestrune/Contents/Helpers/kestrune",
      "usr/lib/kestrune/Contents/Info.plist",
      "usr/bin/kestrune-sim",
      "usr/bin/kestruned",
      "usr/bin/kestrune-watch",
      kBashScript,
      kZshDir + "/_kestrune",
      kFishScript,
      kManDir + "/kestrune.1.gz",
      kManDir + "/kestruned.1.gz",
      kManDir + "/kestrune-sim.1.gz",
      kManDir + "/kestrune-watch.1.gz",
      "usr/lib/systemd/user/kestruned.service",
      lib + "/ladspa/kestrune-eq.so",
      "usr/share/doc/kestrune/profiles.json",
      "usr/share/doc/kestrune/protocol.md",
      "usr/share/doc/kestrune/copyright",
      "usr/share/doc/kestrune/changelog.gz",
      "usr/share/lintian/overrides/kestrune",
  };
#ifdef KESTRUNE_PANEL_AUTOSTART_DIR
  // Under /usr the autostart entry goes to /etc, as the desktops look there.
  const std::string autostart = KESTRUNE_PANEL_AUTOSTART_DIR;
  expected.insert({"usr/bin/kestrune-panel", kManDir + "/kestrune-panel.1.gz",
                   "usr/share/applications/kestrune-panel.desktop",
                   "usr/share/icons/hicolor/scalable/apps/kestrune.svg",
                   (autostart.front() == '/' ? autostart.substr(1) : "usr/" + autostart) +
                       "/kestrune-panel.desktop"});
#endif
  EXPECT_EQ(filesUnder(destination_->path()), expected) << installOutput_;
  for (const char* program : {"usr/bin/kestrune", "usr/bin/kestrune-sim", "usr/bin/kestruned",
                              "usr/bin/kestrune-watch"}) {
    EXPECT_NE(fs::status(installed(program)).permissions() & fs::perms::others_exec,
              fs::perms::none)
        << program;
  }
  // The scripts are the program's own, made from its command tree; the
  // sourced bash script goes without the "#!" line.
  const std::string bash =
      runCommand(shellQuoted(installed("usr/bin/kestrune")) + " --generate-completion-script bash")
          .output;
  ASSERT_EQ(bash.rfind("#!/bin/bash\n", 0), 0U);
  EXPECT_EQ(readFile(installed(kBashScript)), bash.substr(bash.find('\n') + 1));
}

// bin/kestrune is a relative link into the bundle-shaped directory, which
// stays whole when the tree is moved; --version reads the Info.plist there,
// whether the program is named by its path or found on PATH by a shell.
TEST_F(InstallTest, TheInstalledProgramKnowsItsVersion) {
  const std::string link = installed("usr/bin/kestrune");
  ASSERT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), "../lib/kestrune/Contents/Helpers/kestrune");
  EXPECT_EQ(runCommand(shellQuoted(link) + " --version").output, KESTRUNE_PROJECT_VERSION "\n");
  EXPECT_EQ(inShell("kestrune --version"), KESTRUNE_PROJECT_VERSION "\n");
  // Outside such a tree the version is not known, as before.
  EXPECT_EQ(runCommand(shellQuoted(KESTRUNE_BINARY) + " --version").output, "unknown\n");
}

TEST_F(InstallTest, UserUnitStartsTheInstalledDaemonAfterTheSoundServer) {
  const std::string unit = readFile(installed("usr/lib/systemd/user/kestruned.service"));
  EXPECT_NE(unit.find("\nExecStart=" + std::string(KESTRUNE_CONFIGURED_BINDIR) + "/kestruned\n"),
            std::string::npos)
      << unit;
  EXPECT_NE(unit.find("\nRestart=on-failure\n"), std::string::npos) << unit;
  EXPECT_NE(unit.find("\nAfter=pipewire-pulse.service pulseaudio.service\n"), std::string::npos)
      << unit;
}

TEST_F(InstallTest, CompletionScriptsPassTheirShellsSyntaxChecks) {
  EXPECT_EQ(runCommand("bash -n " + shellQuoted(installed(kBashScript)) + " 2>&1").output, "");
  if (hasProgram("zsh")) {
    CommandResult zsh =
        runCommand("zsh -n " + shellQuoted(installed(kZshDir + "/_kestrune")) + " 2>&1");
    EXPECT_EQ(zsh.status, 0) << zsh.output;
  }
  if (hasProgram("fish")) {
    CommandResult fish =
        runCommand("fish --no-execute " + shellQuoted(installed(kFishScript)) + " 2>&1");
    EXPECT_EQ(fish.status, 0) << fish.output;
  }
}

TEST_F(InstallTest, BashCompletesFromTheInstalledScript) {
  if (!fs::exists("/usr/share/bash-completion/bash_completion")) {
    GTEST_SKIP() << "bash-completion is not installed here";
  }
  std::string output = inShell("timeout 30 bash drive.bash 'kestrune vol'");
  EXPECT_EQ(candidateSet(output), Candidates{"volume"}) << output;
}

TEST_F(InstallTest, ZshCompletesFromTheInstalledScript) {
  REQUIRE_PROGRAM("zsh", "zsh");
  fs::remove(*home_ / "work/offered");
  inShell("timeout 30 zsh -f drive.zsh 'kestrune vol'");
  std::string offered = readFile(*home_ / "work/offered");
  EXPECT_NE(offered.find("LINE:kestrune volume \n"), std::string::npos) << offered;
}

TEST_F(InstallTest, FishCompletesFromTheInstalledScript) {
  REQUIRE_PROGRAM("fish", "fish");
  std::string output = inShell("timeout 30 fish -c " + shellQuoted("complete -C 'kestrune vol'"));
  EXPECT_EQ(candidateSet(output), Candidates{"volume"}) << output;
}

// Compressed, as Debian installs them; man reads them as they are.
// A user whose locale is C reads the pages as well as one with UTF-8: no
// character in them may need more than ASCII output.
TEST_F(InstallTest, ManPagesFormatWithoutWarningsWithinEightyColumns) {
  REQUIRE_PROGRAM("man", "man-db");
  for (const char* locale : {"C", "C.UTF-8"}) {
    const std::string inLocale = std::string("LC_ALL=") + locale + " LANG=" + locale + " ";
    for (const char* page :
         {"kestrune.1.gz", "kestruned.1.gz", "kestrune-sim.1.gz", "kestrune-watch.1.gz"}) {
      const std::string path = shellQuoted(installed(kManDir + "/" + page));
      EXPECT_EQ(runCommand(inLocale + "man --warnings -l " + path + " 2>&1 >/dev/null").output, "")
          << page << " in " << locale;
      CommandResult shown = runCommand(inLocale + "MANWIDTH=80 man -l " + path + " 2>/dev/null");
      EXPECT_EQ(shown.status, 0) << page << " in " << locale;
      std::istringstream lines(shown.output);
      std::string line;
      std::size_t longest = 0;
      while (std::getline(lines, line)) {
        longest = std::max(longest, line.size());
      }
      EXPECT_LE(longest, 80U) << page << " in " << locale;
    }
  }
  // Found where man looks under the prefix.
  CommandResult found =
      runCommand("MANPATH=" + shellQuoted(installed("usr/share/man")) + " man -w kestruned 2>&1");
  EXPECT_EQ(found.output, installed(kManDir + "/kestruned.1.gz") + "\n");
}

}  // namespace
}  // namespace kestrune::testing
