#include "completions/Installation.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "TemporaryDirectory.h"
#include "platform/Files.h"

namespace kestrune::completions {
namespace {

using testing::readFile;
using testing::TemporaryDirectory;
using testing::writeFile;

TEST(InstallationTest, PathsUnderTheHomeDirectory) {
  EXPECT_EQ(completionsFile("/home/ann", Shell::zsh), "/home/ann/.zsh/completions/_kestrune");
  EXPECT_EQ(completionsFile("/home/ann/", Shell::fish),
            "/home/ann/.config/fish/completions/kestrune.fish");
  EXPECT_EQ(completionsDirectory("/home/ann", Shell::fish), "/home/ann/.config/fish/completions");
}

TEST(InstallationTest, ZshInstallCreatesTheDirectoriesAndReplacesTheFile) {
  TemporaryDirectory home;
  std::string file = home / ".zsh/completions/_kestrune";
  std::string expected = "✓ Installed zsh completions to " + file +
                         "\n"
                         "\n"
                         "Add to ~/.zshrc if not already present:\n"
                         "  fpath=(~/.zsh/completions $fpath)\n"
                         "  autoload -Uz compinit && compinit\n";

  EXPECT_EQ(install(Shell::zsh, "first script", home.path()), expected);
  EXPECT_EQ(readFile(file), "first script");
  EXPECT_EQ(install(Shell::zsh, "second script", home.path()), expected);
  EXPECT_EQ(readFile(file), "second script");
  // No temporary files are left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home / ".zsh/completions"),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(InstallationTest, FishInstallAdvisesSourcing) {
  TemporaryDirectory home;
  std::string file = home / ".config/fish/completions/kestrune.fish";
  EXPECT_EQ(
      install(Shell::fish, "script", home.path()),
      "✓ Installed fish completions to " + file + "\nRestart fish or run:  source " + file + "\n");
  EXPECT_EQ(readFile(file), "script");
}

TEST(InstallationTest, UninstallTwice) {
  TemporaryDirectory home;
  for (Shell shell : {Shell::zsh, Shell::fish}) {
    std::string name(shellName(shell));
    std::string file = completionsFile(home.path(), shell);
    install(shell, "script", home.path());
    EXPECT_EQ(uninstall(shell, home.path()),
              "✓ Removed " + name + " completions from " + file + "\n");
    EXPECT_FALSE(platform::pathExists(file));
    EXPECT_TRUE(platform::pathExists(completionsDirectory(home.path(), shell)));
    EXPECT_EQ(uninstall(shell, home.path()), "No " + name + " completions found at " + file + "\n");
  }
}

TEST(InstallationTest, UnusableDirectoryFailsWithoutOutput) {
  TemporaryDirectory home;
  writeFile(home / ".zsh", "a file where the directory should be");
  EXPECT_THROW(install(Shell::zsh, "script", home.path()), platform::FileError);
  EXPECT_EQ(readFile(home / ".zsh"), "a file where the directory should be");
}

// Writes beyond the file size limit fail (EFBIG), even for the superuser.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previousHandler_)(int) = nullptr;
};

TEST(InstallationTest, FailedWriteKeepsTheOldFile) {
  TemporaryDirectory home;
  install(Shell::fish, "old script", home.path());
  std::string file = completionsFile(home.path(), Shell::fish);
  {
    FileSizeLimit limit(16);
    EXPECT_THROW(install(Shell::fish, std::string(4096, '#'), home.path()), platform::FileError);
  }
  EXPECT_EQ(readFile(file), "old script");
  EXPECT_EQ(std::distance(
                std::filesystem::directory_iterator(completionsDirectory(home.path(), Shell::fish)),
                std::filesystem::directory_iterator()),
            1);
}

}  // namespace
}  // namespace kestrune::completions
