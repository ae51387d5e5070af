#pragma once

namespace platform {

struct TerminalSize {
  int columns = 80;
  int lines = 25;
};

// COLUMNS and LINES when both are set as integers; otherwise the size of the
// terminal on standard output; otherwise 80 x 25.
TerminalSize terminalSize();

}  // namespace platform
