#pragma once
// media: playback of the current media player.

#include <optional>

#include "ArgumentParser/ArgumentParser.h"
#include "app/GlobalOptions.h"
#include "app/RunRequest.h"

namespace kestrune {

struct MediaCommand : argparse::ParsableCommand {
  static argparse::CommandConfiguration configuration();

  struct PlayPause : RequestLeaf<PlayPause> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Next : RequestLeaf<Next> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Previous : RequestLeaf<Previous> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  // The seconds to skip forward or backward.
  struct SecondsArgument : argparse::Argument<double> {
    explicit SecondsArgument(argparse::ParsableArguments* owner)
        : argparse::Argument<double>(
              owner, "seconds", {.help = {"Seconds to skip (default: 15)."}, .defaultValue = 15}) {}
  };

  struct Forward : RequestLeaf<Forward> {
    static argparse::CommandConfiguration configuration();
    SecondsArgument seconds{this};
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Backward : RequestLeaf<Backward> {
    static argparse::CommandConfiguration configuration();
    SecondsArgument seconds{this};
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Shuffle : RequestLeaf<Shuffle> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Repeat : RequestLeaf<Repeat> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Volume : RequestLeaf<Volume> {
    static argparse::CommandConfiguration configuration();
    argparse::Argument<std::optional<double>> level{
        this, "level", {.help = {"Volume level (0-100). Omit to get current."}}};
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };

  struct Info : RequestLeaf<Info> {
    static argparse::CommandConfiguration configuration();
    argparse::OptionGroup<GlobalOptions> options{this, "options"};
    CLICommand request() const override;
  };
};

}  // namespace kestrune
