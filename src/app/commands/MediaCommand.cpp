#include "app/commands/MediaCommand.h"

namespace kestrune {

using argparse::command;
using argparse::CommandConfiguration;

CommandConfiguration MediaCommand::configuration() {
  return {.commandName = "media",
          .abstract = "Control media playback",
          .subcommands = {command<PlayPause>(), command<Next>(), command<Previous>(),
                          command<Forward>(), command<Backward>(), command<Shuffle>(),
                          command<Repeat>(), command<Volume>(), command<Info>()}};
}

CommandConfiguration MediaCommand::PlayPause::configuration() {
  return {.commandName = "play-pause", .abstract = "Toggle play/pause"};
}
CLICommand MediaCommand::PlayPause::request() const {
  return {CLICommand::MediaPlayPause{}};
}

CommandConfiguration MediaCommand::Next::configuration() {
  return {.abstract = "Skip to next track"};
}
CLICommand MediaCommand::Next::request() const {
  return {CLICommand::MediaNext{}};
}

CommandConfiguration MediaCommand::Previous::configuration() {
  return {.commandName = "previous", .abstract = "Skip to previous track"};
}
CLICommand MediaCommand::Previous::request() const {
  return {CLICommand::MediaPrevious{}};
}

CommandConfiguration MediaCommand::Forward::configuration() {
  return {.abstract = "Skip forward by seconds"};
}
CLICommand MediaCommand::Forward::request() const {
  return {CLICommand::MediaForward{seconds}};
}

CommandConfiguration MediaCommand::Backward::configuration() {
  return {.abstract = "Skip backward by seconds"};
}
CLICommand MediaCommand::Backward::request() const {
  return {CLICommand::MediaBackward{seconds}};
}

CommandConfiguration MediaCommand::Shuffle::configuration() {
  return {.abstract = "Toggle shuffle"};
}
CLICommand MediaCommand::Shuffle::request() const {
  return {CLICommand::MediaShuffle{}};
}

CommandConfiguration MediaCommand::Repeat::configuration() {
  return {.commandName = "repeat", .abstract = "Cycle repeat mode (off → all → one)"};
}
CLICommand MediaCommand::Repeat::request() const {
  return {CLICommand::MediaRepeat{}};
}

CommandConfiguration MediaCommand::Volume::configuration() {
  return {.abstract = "Get or set media player volume"};
}
CLICommand MediaCommand::Volume::request() const {
  const std::optional<double>& percent = level;
  if (!percent) {
    return {CLICommand::GetMediaVolume{}};
  }
  requireLevelInRange(*percent, 100, kSystemVolumeRangeMessage);
  return {CLICommand::SetMediaVolume{*percent}};
}

CommandConfiguration MediaCommand::Info::configuration() {
  return {.abstract = "Get now playing info"};
}
CLICommand MediaCommand::Info::request() const {
  return {CLICommand::GetMediaInfo{}};
}

}  // namespace kestrune
