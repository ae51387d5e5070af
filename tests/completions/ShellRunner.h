#pragma once
// Runs shell commands for the tests of the completion scripts in real shells.

#include <sys/wait.h>
#include <array>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace kestrune::testing {

struct CommandResult {
  std::string output;
  int status = -1;
};

// Runs `command` with /bin/sh and collects its standard output.
inline CommandResult runCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr)
    return result;
  std::array<char, 4096> buffer{};
  std::size_t count = 0;
  while ((count = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    result.output.append(buffer.data(), count);
  int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline bool hasProgram(const std::string& name) {
  return runCommand("command -v " + name + " >/dev/null 2>&1").status == 0;
}

// One single-quoted word for /bin/sh.
inline std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char character : text) {
    if (character == '\'') {
      quoted += "'\\''";
    } else {
      quoted += character;
    }
  }
  return quoted + "'";
}

// The distinct non-empty lines, each cut at its first tab (fish adds
// descriptions after one).
inline std::set<std::string> candidateSet(const std::string& output) {
  std::set<std::string> candidates;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    line = line.substr(0, line.find('\t'));
    if (!line.empty())
      candidates.insert(line);
  }
  return candidates;
}

// A zsh script that drives an interactive zsh through zsh/zpty: it sources
// "$KESTRUNE_TEST_DIR/setup.zsh", types the line given as $1 followed by TAB,
// and waits (up to 20 s) until the setup's TAB widget has written "__END__"
// to "$KESTRUNE_TEST_DIR/offered".
constexpr const char* zshDriver = R"zsh(zmodload zsh/zpty
zpty shell 'zsh -f -i'
zpty -w shell "source ${(q)KESTRUNE_TEST_DIR}/setup.zsh; print RE''ADY"
zpty -r shell junk '*READY*'
zpty -w -n shell "$1"$'\t'
integer i
for (( i = 0; i < 400; i++ )); do
    [[ -f "${KESTRUNE_TEST_DIR}/offered" && "$(<"${KESTRUNE_TEST_DIR}/offered")" == *__END__* ]] && break
    sleep 0.05
done
zpty -d shell
)zsh";

}  // namespace kestrune::testing
