#pragma once
// The manual page of a command tree, in roff with the man macros, made from
// the records of the help dump of the root command: NAME, SYNOPSIS,
// DESCRIPTION, OPTIONS of the root, COMMANDS with one subsection per command
// (usage line, arguments, options), EXIT STATUS and ENVIRONMENT as the
// framework uses them, then the program's own sections. A program section
// titled like one of the framework's adds its paragraphs and entries to it.

#include <string>
#include <vector>

#include "ArgumentParser/ManualSection.h"
#include "ArgumentParser/ToolInfo.h"
#include "ArgumentParser/Tree.h"

namespace argparse {

struct ManualPageDetails {
  std::string source;  // footer: the program and its version
  std::string date;    // YYYY-MM-DD
  std::vector<ManualSection> sections;
};

std::string manualPage(const ToolInfoV0& rootDump, const ManualPageDetails& details);

// The page of the tree, as printed by --generate-manual, with what the root's
// configuration adds (or its name and version as the source), dated
// SOURCE_DATE_EPOCH when set, else today (UTC).
std::string manualPage(const CommandTree& tree);

// Text made safe for a roff text line: backslashes, hyphens, characters
// outside ASCII, and a leading dot or quote.
std::string roffEscaped(const std::string& text);

}  // namespace argparse
