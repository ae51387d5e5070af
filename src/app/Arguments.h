#pragma once
// Command-line enumerations, kept apart from the protocol's own and mapped
// onto them case for case.

#include <string_view>
#include <utility>

#include "ArgumentParser/ArgumentParser.h"
#include "protocol/CLICommand.h"

namespace kestrune {

enum class DirectionArg { input, output };
enum class MuteActionArg { on, off, toggle };

AudioDirection audioDirection(DirectionArg direction);
MuteAction muteAction(MuteActionArg action);

}  // namespace kestrune

namespace argparse {

template <>
struct EnumStrings<kestrune::DirectionArg> {
  static constexpr std::pair<kestrune::DirectionArg, std::string_view> cases[] = {
      {kestrune::DirectionArg::input, "input"}, {kestrune::DirectionArg::output, "output"}};
};

template <>
struct EnumStrings<kestrune::MuteActionArg> {
  static constexpr std::pair<kestrune::MuteActionArg, std::string_view> cases[] = {
      {kestrune::MuteActionArg::on, "on"},
      {kestrune::MuteActionArg::off, "off"},
      {kestrune::MuteActionArg::toggle, "toggle"}};
};

}  // namespace argparse
