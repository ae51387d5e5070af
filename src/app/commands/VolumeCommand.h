#pragma once
// volume: the system output volume.

#include "ArgumentParser/ArgumentParser.h"
#include "app/GlobalOptions.h"
#include "app/RunRequest.h"

namespace kestrune {

struct VolumeCommand : argparse::ParsableCommand {
  static argparse::CommandConfiguration configuration();

  struct Get : RequestLeaf<Get> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Set : RequestLeaf<Set> {
    static argparse::CommandConfiguration configuration();
    argparse::Argument<double> level{this, "level", {.help = {"Volume level (0-100)."}}};
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Up : RequestLeaf<Up> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Down : RequestLeaf<Down> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };
};

}  // namespace kestrune
