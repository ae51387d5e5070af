#pragma once
// mute: the microphone mute.

#include "ArgumentParser/ArgumentParser.h"
#include "app/GlobalOptions.h"
#include "app/RunRequest.h"

namespace kestrune {

struct MuteCommand : argparse::ParsableCommand {
  static argparse::CommandConfiguration configuration();

  struct Get : RequestLeaf<Get> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct On : RequestLeaf<On> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Off : RequestLeaf<Off> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Toggle : RequestLeaf<Toggle> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };
};

}  // namespace kestrune
