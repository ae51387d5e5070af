#include "protocol/CLICommand.h"

#include "protocol/CaseNames.h"

namespace kestrune {

bool applyMute(bool current, MuteAction action) {
  switch (action) {
    case MuteAction::on:
      return true;
    case MuteAction::off:
      return false;
    case MuteAction::toggle:
      return !current;
  }
  return current;
}

std::string_view rawValue(VolumeDirection value) {
  return value == VolumeDirection::up ? "up" : "down";
}

std::string_view rawValue(MuteAction value) {
  switch (value) {
    case MuteAction::on:
      return "on";
    case MuteAction::off:
      return "off";
    case MuteAction::toggle:
      return "toggle";
  }
  return "toggle";
}

std::string_view rawValue(AudioDirection value) {
  return value == AudioDirection::input ? "input" : "output";
}

std::optional<VolumeDirection> volumeDirectionFromRaw(std::string_view raw) {
  if (raw == "up") {
    return VolumeDirection::up;
  }
  if (raw == "down") {
    return VolumeDirection::down;
  }
  return std::nullopt;
}

std::optional<MuteAction> muteActionFromRaw(std::string_view raw) {
  if (raw == "on") {
    return MuteAction::on;
  }
  if (raw == "off") {
    return MuteAction::off;
  }
  if (raw == "toggle") {
    return MuteAction::toggle;
  }
  return std::nullopt;
}

std::optional<AudioDirection> audioDirectionFromRaw(std::string_view raw) {
  if (raw == "input") {
    return AudioDirection::input;
  }
  if (raw == "output") {
    return AudioDirection::output;
  }
  return std::nullopt;
}

std::string_view CLICommand::caseName() const {
  return commandCaseNames[value.index()];
}

}  // namespace kestrune
