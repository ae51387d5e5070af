#pragma once
// status and version: the application's summary and its version.

#include "ArgumentParser/ArgumentParser.h"
#include "app/GlobalOptions.h"
#include "app/RunRequest.h"

namespace kestrune {

struct StatusCommand : RequestLeaf<StatusCommand> {
  static argparse::CommandConfiguration configuration();
  argparse::OptionGroup<GlobalOptions> options{this, "options"};
  CLICommand request() const override;
};

// Asks the running application; the root's --version describes this program.
struct VersionCommand : RequestLeaf<VersionCommand> {
  static argparse::CommandConfiguration configuration();
  argparse::OptionGroup<GlobalOptions> options{this, "options"};
  CLICommand request() const override;
};

}  // namespace kestrune
