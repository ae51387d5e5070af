#pragma once
// What a program writes about itself in its manual page, beside what the
// framework derives from the command tree: files, environment, exit statuses,
// related pages. The texts are plain; the generator does the formatting.

#include <string>
#include <vector>

namespace argparse {

// A tagged paragraph: a file, a variable or a status, and what it means.
struct ManualEntry {
  std::string tag{};
  std::string text{};
};

struct ManualSection {
  std::string title{};                    // "FILES", "SEE ALSO"
  std::vector<std::string> paragraphs{};  // before the entries
  std::vector<ManualEntry> entries{};
  std::vector<std::string> references{};  // other pages, "name(section)"
};

struct Manual {
  // The footer's "source": the program and its version. Empty: the root's
  // name and configured version.
  std::string source{};
  std::vector<ManualSection> sections{};
};

}  // namespace argparse
