#include "server/FeedParts.h"

#include <utility>

namespace kestrune::server {

namespace {

template <class Case>
Case* payload(CLIResponse& response) {
  if (!response.success || !response.data) {
    return nullptr;
  }
  return std::get_if<Case>(&response.data->value);
}

std::string reasonOf(const CLIResponse& response) {
  return response.error.value_or("The application gave no answer.");
}

}  // namespace

void readAudioPart(FeedState& state, const Ask& ask, const CLIStatusInfo& outOfReach) {
  CLIResponse status = ask(CLICommand{CLICommand::GetStatus{}});
  auto* summary = payload<CLIResponseData::Status>(status);
  if (summary == nullptr) {
    state.status = outOfReach;
    state.devices.clear();
    state.apps.clear();
    state.appIcons.clear();
    state.statusUnavailable = reasonOf(status);
    return;
  }
  state.status = std::move(summary->value);
  state.statusUnavailable.reset();
  CLIResponse devices = ask(CLICommand{CLICommand::ListDevices{}});
  if (auto* list = payload<CLIResponseData::Devices>(devices)) {
    state.devices = std::move(list->value);
  }
  CLIResponse apps = ask(CLICommand{CLICommand::ListApps{}});
  if (auto* list = payload<CLIResponseData::Apps>(apps)) {
    state.apps = std::move(list->value);
  }
}

void readMediaPart(FeedState& state, const Ask& ask) {
  CLIResponse media = ask(CLICommand{CLICommand::GetMediaInfo{}});
  if (auto* info = payload<CLIResponseData::MediaInfo>(media)) {
    state.media = std::move(info->value);
  } else {
    state.media.reset();
  }
}

void readBluetoothPart(FeedState& state, const Ask& ask) {
  CLIResponse list = ask(CLICommand{CLICommand::ListBluetooth{}});
  if (auto* devices = payload<CLIResponseData::Bluetooth>(list)) {
    state.bluetooth = std::move(devices->value);
    state.bluetoothUnavailable.reset();
  } else {
    state.bluetooth.clear();
    state.bluetoothUnavailable = reasonOf(list);
  }
}

}  // namespace kestrune::server
