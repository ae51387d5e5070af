#include "app/Arguments.h"

namespace kestrune {

AudioDirection audioDirection(DirectionArg direction) {
  switch (direction) {
    case DirectionArg::input:
      return AudioDirection::input;
    case DirectionArg::output:
      return AudioDirection::output;
  }
  return AudioDirection::output;
}

MuteAction muteAction(MuteActionArg action) {
  switch (action) {
    case MuteActionArg::on:
      return MuteAction::on;
    case MuteActionArg::off:
      return MuteAction::off;
    case MuteActionArg::toggle:
      return MuteAction::toggle;
  }
  return MuteAction::toggle;
}

}  // namespace kestrune
