#pragma once
// app: per-application volume, mute, solo, EQ and output device.

#include <optional>
#include <string>

#include "ArgumentParser/ArgumentParser.h"
#include "app/Arguments.h"
#include "app/GlobalOptions.h"
#include "app/RunRequest.h"

namespace kestrune {

struct AppCommand : argparse::ParsableCommand {
  static argparse::CommandConfiguration configuration();

  // The application a leaf acts on, as the user names it.
  struct AppArgument : argparse::Argument<std::string> {
    explicit AppArgument(argparse::ParsableArguments* owner)
        : argparse::Argument<std::string>(owner, "app", {.help = {"App name or bundle ID."}}) {}
  };

  struct List : RequestLeaf<List> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Volume : RequestLeaf<Volume> {
    static argparse::CommandConfiguration configuration();
    AppArgument app{this};
    argparse::Argument<std::optional<double>> level{
        this, "level", {.help = {"Volume level (0-200). Omit to get current."}}};
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Mute : RequestLeaf<Mute> {
    static argparse::CommandConfiguration configuration();
    AppArgument app{this};
    argparse::Argument<MuteActionArg> action{
        this,
        "action",
        {.help = {"Action: on, off, or toggle (default: toggle)."},
         .defaultValue = MuteActionArg::toggle}};
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Solo : RequestLeaf<Solo> {
    static argparse::CommandConfiguration configuration();
    AppArgument app{this};
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct EQ : argparse::ParsableCommand {
    static argparse::CommandConfiguration configuration();

    struct Get : RequestLeaf<Get> {
      static argparse::CommandConfiguration configuration();
      AppArgument app{this};
      argparse::OptionGroup<GlobalOptions> options{this, "options"};
      CLICommand request() const override;
    };

    struct Set : RequestLeaf<Set> {
      static argparse::CommandConfiguration configuration();
      AppArgument app{this};
      argparse::Argument<std::string> preset{
          this, "preset", {.help = {"Preset name (e.g. flat, rock, bassBoost)."}}};
      argparse::OptionGroup<GlobalOptions> options{this, "options"};
      CLICommand request() const override;
    };
  };

  struct Device : argparse::ParsableCommand {
    static argparse::CommandConfiguration configuration();

    struct Get : RequestLeaf<Get> {
      static argparse::CommandConfiguration configuration();
      AppArgument app{this};
      argparse::OptionGroup<GlobalOptions> options{this, "options"};
      CLICommand request() const override;
    };

    struct Set : RequestLeaf<Set> {
      static argparse::CommandConfiguration configuration();
      AppArgument app{this};
      argparse::Argument<std::string> deviceUID{
          this, "deviceUID", {.help = {"Device UID (or 'default')."}}};
      argparse::OptionGroup<GlobalOptions> options{this, "options"};
      CLICommand request() const override;
    };
  };
};

}  // namespace kestrune
