#pragma once
// bluetooth: connected Bluetooth audio devices.

#include "ArgumentParser/ArgumentParser.h"
#include "app/GlobalOptions.h"
#include "app/RunRequest.h"

namespace kestrune {

struct BluetoothCommand : argparse::ParsableCommand {
  static argparse::CommandConfiguration configuration();

  struct List : RequestLeaf<List> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };
};

}  // namespace kestrune
