#include "platform/Terminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/FileDescriptor.h"
#include "platform/TestSupport.h"

using platform::FileDescriptor;
using platform::terminalSize;
using testing_support::ScopedEnvironmentVariable;

namespace {

// Points standard output at another descriptor for the life of the object.
class RedirectedStandardOutput {
 public:
  explicit RedirectedStandardOutput(int target) : saved_(::dup(STDOUT_FILENO)) {
    EXPECT_EQ(std::fflush(stdout), 0);
    EXPECT_GE(::dup2(target, STDOUT_FILENO), 0);
  }
  RedirectedStandardOutput(const RedirectedStandardOutput&) = delete;
  RedirectedStandardOutput& operator=(const RedirectedStandardOutput&) = delete;
  ~RedirectedStandardOutput() {
    EXPECT_EQ(std::fflush(stdout), 0);
    EXPECT_GE(::dup2(saved_.get(), STDOUT_FILENO), 0);
  }

 private:
  FileDescriptor saved_;
};

struct Pseudoterminal {
  FileDescriptor controller;
  FileDescriptor terminal;
};

Pseudoterminal openPseudoterminal(unsigned short columns, unsigned short lines) {
  Pseudoterminal result;
  result.controller.reset(::posix_openpt(O_RDWR | O_NOCTTY));
  if (!result.controller || ::grantpt(result.controller.get()) != 0 ||
      ::unlockpt(result.controller.get()) != 0) {
    return result;
  }
  result.terminal.reset(::open(::ptsname(result.controller.get()), O_RDWR | O_NOCTTY));
  winsize window{};
  window.ws_col = columns;
  window.ws_row = lines;
  if (result.terminal && ::ioctl(result.terminal.get(), TIOCSWINSZ, &window) != 0) {
    result.terminal.reset();
  }
  return result;
}

}  // namespace

TEST(TerminalSize, EnvironmentWinsWhenBothVariablesAreIntegers) {
  ScopedEnvironmentVariable columns("COLUMNS", "132");
  ScopedEnvironmentVariable lines("LINES", "+40");
  const auto size = terminalSize();
  EXPECT_EQ(size.columns, 132);
  EXPECT_EQ(size.lines, 40);
}

TEST(TerminalSize, DefaultsWithoutTerminalOrUsableVariables) {
  FileDescriptor devNull(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  ASSERT_TRUE(devNull);
  RedirectedStandardOutput redirect(devNull.get());
  for (const auto& [columnsValue, linesValue] :
       std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>>{
           {std::nullopt, std::nullopt},
           {"120", std::nullopt},
           {std::nullopt, "50"},
           {"wide", "50"},
           {"120x", "50"},
           {"", "50"},
           {"0", "50"},
           {"-20", "50"},
           {"99999999999999", "50"}}) {
    ScopedEnvironmentVariable columns("COLUMNS", columnsValue);
    ScopedEnvironmentVariable lines("LINES", linesValue);
    const auto size = terminalSize();
    EXPECT_EQ(size.columns, 80) << columnsValue.value_or("(unset)");
    EXPECT_EQ(size.lines, 25) << linesValue.value_or("(unset)");
  }
}

TEST(TerminalSize, AsksTheTerminalOnStandardOutput) {
  auto pty = openPseudoterminal(101, 37);
  if (!pty.terminal) {
    GTEST_SKIP() << "no pseudo-terminal available";
  }
  ScopedEnvironmentVariable columns("COLUMNS", std::nullopt);
  ScopedEnvironmentVariable lines("LINES", "60");
  RedirectedStandardOutput redirect(pty.terminal.get());
  const auto size = terminalSize();
  EXPECT_EQ(size.columns, 101);
  EXPECT_EQ(size.lines, 37);
}
