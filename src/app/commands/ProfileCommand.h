#pragma once
// profile: saved audio routing profiles.

#include <string>

#include "ArgumentParser/ArgumentParser.h"
#include "app/GlobalOptions.h"
#include "app/RunRequest.h"

namespace kestrune {

struct ProfileCommand : argparse::ParsableCommand {
  static argparse::CommandConfiguration configuration();

  struct List : RequestLeaf<List> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Apply : RequestLeaf<Apply> {
    static argparse::CommandConfiguration configuration();
    argparse::Argument<std::string> name{this, "name", {.help = {"Profile name."}}};
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };
};

}  // namespace kestrune
