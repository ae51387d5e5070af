#pragma once
// panel: the application's menu panel.

#include "ArgumentParser/ArgumentParser.h"
#include "app/GlobalOptions.h"
#include "app/RunRequest.h"

namespace kestrune {

struct PanelCommand : argparse::ParsableCommand {
  static argparse::CommandConfiguration configuration();

  struct Toggle : RequestLeaf<Toggle> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };
};

}  // namespace kestrune
