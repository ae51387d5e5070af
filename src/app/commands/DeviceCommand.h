#pragma once
// device: the default input and output devices.

#include <optional>

#include "ArgumentParser/ArgumentParser.h"
#include "app/Arguments.h"
#include "app/GlobalOptions.h"
#include "app/RunRequest.h"

namespace kestrune {

struct DeviceCommand : argparse::ParsableCommand {
  static argparse::CommandConfiguration configuration();

  struct List : RequestLeaf<List> {
    static argparse::CommandConfiguration configuration();
    argparse::Option<std::optional<DirectionArg>> direction{
        this,
        "direction",
        {.name = argparse::NameSpecification::shortAndLong(),
         .help = {"Filter by direction: input or output."}}};
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Current : RequestLeaf<Current> {
    static argparse::CommandConfiguration configuration();
    argparse::Argument<DirectionArg> direction{
        this,
        "direction",
        {.help = {"Direction: output or input."}, .defaultValue = DirectionArg::output}};
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Set : RequestLeaf<Set> {
    static argparse::CommandConfiguration configuration();
    argparse::Argument<std::string> uid{this, "uid", {.help = {"Device UID."}}};
    argparse::Option<DirectionArg> direction{
        this,
        "direction",
        {.name = argparse::NameSpecification::shortAndLong(),
         .help = {"Direction: output or input (default: output)."},
         .defaultValue = DirectionArg::output}};
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Cycle : RequestLeaf<Cycle> {
    static argparse::CommandConfiguration configuration();
    argparse::Argument<DirectionArg> direction{
        this,
        "direction",
        {.help = {"Direction: output or input (default: output)."},
         .defaultValue = DirectionArg::output}};
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };
};

}  // namespace kestrune
