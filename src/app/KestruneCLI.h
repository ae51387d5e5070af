#pragma once
// The root of the command tree.

#include "ArgumentParser/ArgumentParser.h"

namespace kestrune {

// No action of its own: alone it prints its help.
struct KestruneCLI : argparse::ParsableCommand {
  static argparse::CommandConfiguration configuration();
};

}  // namespace kestrune
