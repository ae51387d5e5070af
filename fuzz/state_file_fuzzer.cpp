// kestrune-sim's state file: any bytes are either refused with a decoding
// error or give a state that writes back to the same JSON and that answers
// every request (each one on the state the previous ones left) with a reply
// the client can decode.

#include <vector>

#include "FuzzSupport.h"
#include "json/Errors.h"
#include "json/Value.h"
#include "protocol/Coding.h"
#include "sim/SimulatedState.h"
#include "sim/StateFile.h"

namespace {

using kestrune::CLICommand;
using kestrune::sim::StateModel;

// Requests naming what the state holds, where a request names something.
std::vector<CLICommand> everyRequest(const StateModel& state) {
  using C = CLICommand;
  const std::string app = state.apps.empty() ? "Music" : state.apps.front().name;
  const std::string device = state.devices.empty() ? "none" : state.devices.back().uid;
  const std::string profile = state.profiles.empty() ? "Work" : state.profiles.front().name;
  const auto in = kestrune::AudioDirection::input;
  const auto out = kestrune::AudioDirection::output;
  return {C{C::GetVolume{}},
          C{C::SetVolume{0}},
          C{C::StepVolume{kestrune::VolumeDirection::up}},
          C{C::GetMuteState{}},
          C{C::SetMute{kestrune::MuteAction::toggle}},
          C{C::GetSilentMode{}},
          C{C::ToggleSilentMode{}},
          C{C::ListDevices{}},
          C{C::ListDevices{in}},
          C{C::GetCurrentDevice{in}},
          C{C::SetDevice{device, out}},
          C{C::SetDevice{device, in}},
          C{C::CycleDevice{out}},
          C{C::CycleDevice{in}},
          C{C::ListApps{}},
          C{C::GetAppVolume{app}},
          C{C::SetAppVolume{app, 200}},
          C{C::SetAppMute{app, kestrune::MuteAction::on}},
          C{C::SoloApp{app}},
          C{C::GetAppEQ{app}},
          C{C::SetAppEQ{app, "vocal"}},
          C{C::GetAppDevice{app}},
          C{C::SetAppDevice{app, device}},
          C{C::SetAppDevice{app, "default"}},
          C{C::ListProfiles{}},
          C{C::ApplyProfile{profile}},
          C{C::MediaPlayPause{}},
          C{C::MediaNext{}},
          C{C::MediaPrevious{}},
          C{C::MediaForward{1e9}},
          C{C::MediaBackward{1e9}},
          C{C::MediaShuffle{}},
          C{C::MediaRepeat{}},
          C{C::MediaNext{}},
          C{C::MediaRepeat{}},
          C{C::MediaPrevious{}},
          C{C::GetMediaVolume{}},
          C{C::SetMediaVolume{100}},
          C{C::GetMediaInfo{}},
          C{C::ListBluetooth{}},
          C{C::TogglePanel{}},
          C{C::GetStatus{}},
          C{C::GetVersion{}}};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  StateModel state;
  try {
    state = kestrune::sim::stateFromJSON(json::parse(fuzzing::asText(data, size)));
  } catch (const json::ParseError&) {
    return 0;
  } catch (const json::DecodingError& error) {
    fuzzing::require(!error.description().empty(), "a decoding error without description");
    return 0;
  }
  const std::string written = json::writeCompact(kestrune::sim::stateToJSON(state));
  const std::string again = json::writeCompact(
      kestrune::sim::stateToJSON(kestrune::sim::stateFromJSON(json::parse(written))));
  fuzzing::require(again == written, "the state does not write back the same");

  const auto requests = everyRequest(state);
  kestrune::sim::SimulatedState simulation(
      std::move(state), kestrune::sim::SimulatedState::Options{{}, [] { return 0.0; }});
  for (const auto& request : requests) {
    const auto response = simulation.handle(request);
    static_cast<void>(kestrune::decodeCLIResponse(kestrune::encodeCompact(response)));
  }
  return 0;
}
