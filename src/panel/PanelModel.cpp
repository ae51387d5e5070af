#include "panel/PanelModel.h"

#include <algorithm>
#include <utility>

#include "json/Errors.h"

namespace kestrune::panel {

namespace {

std::string eventName(const json::Value& frame) {
  const json::Value* name = frame.find("event");
  return name != nullptr && name->isString() ? name->asString() : std::string();
}

}  // namespace

QString PanelModel::unavailableSentence() const {
  if (!connected_) {
    return unreachable_;
  }
  if (state_.statusUnavailable) {
    return QStringLiteral("The sound server is not available: %1")
        .arg(QString::fromStdString(*state_.statusUnavailable));
  }
  return {};
}

void PanelModel::applyFrame(const json::Value& frame) {
  const std::string event = eventName(frame);
  if (event == "snapshot") {
    applySnapshot(frame);
    return;
  }
  if (event == "app" || event == "app-removed") {
    applyAppFrame(event, frame);
    return;
  }
  const DeviceListing devicesBefore = deviceListing();
  const bool unavailableBefore = state_.statusUnavailable.has_value();
  try {
    applyFeedEvent(state_, frame);
  } catch (const json::DecodingError&) {
    return;  // a later version's or a broken frame: the rest of the state stands
  }
  if (event == "status" || event == "device" || event == "device-removed") {
    if (deviceListing() != devicesBefore) {
      emit deviceListChanged();
    }
    if (state_.statusUnavailable.has_value() != unavailableBefore) {
      emit availabilityChanged();
    }
    emit outputChanged();
  } else if (event == "media") {
    emit mediaChanged();
  } else if (event == "bluetooth") {
    emit bluetoothChanged();
  }
  emit changed();
}

void PanelModel::applySnapshot(const json::Value& frame) {
  FeedState fresh;
  try {
    applyFeedEvent(fresh, frame);
  } catch (const json::DecodingError&) {
    return;
  }
  std::vector<std::string> iconNames;
  iconNames.reserve(fresh.apps.size());
  for (const CLIAppInfo& app : fresh.apps) {
    const auto icon = fresh.appIcons.find(app.id);
    iconNames.push_back(icon == fresh.appIcons.end() ? std::string() : icon->second);
  }
  std::vector<CLIAppInfo> apps = std::move(fresh.apps);
  fresh.apps.clear();
  fresh.appIcons.clear();
  state_ = std::move(fresh);
  connected_ = true;
  apps_.reset(std::move(apps), std::move(iconNames));
  emit availabilityChanged();
  emit deviceListChanged();
  emit outputChanged();
  emit mediaChanged();
  emit bluetoothChanged();
  emit changed();
}

// Decoded on an empty state of its own: the one app it holds then goes
// into its row, and the other rows are not touched.
void PanelModel::applyAppFrame(const std::string& event, const json::Value& frame) {
  FeedState one;
  try {
    applyFeedEvent(one, frame);
  } catch (const json::DecodingError&) {
    return;
  }
  if (event == "app") {
    if (one.apps.empty()) {
      return;
    }
    CLIAppInfo& app = one.apps.front();
    const auto icon = one.appIcons.find(app.id);
    apps_.put(std::move(app), icon == one.appIcons.end() ? std::string() : icon->second);
    return;
  }
  const json::Value* id = frame.find("id");
  if (id != nullptr && id->isString()) {
    apps_.remove(id->asString());
  }
}

void PanelModel::setUnreachable(const QString& sentence) {
  if (!connected_ && unreachable_ == sentence) {
    return;
  }
  connected_ = false;
  unreachable_ = sentence;
  emit availabilityChanged();
  emit changed();
}

PanelModel::DeviceListing PanelModel::deviceListing() const {
  DeviceListing listing;
  listing.reserve(state_.devices.size());
  for (const CLIDeviceInfo& device : state_.devices) {
    listing.emplace_back(device.uid, device.name, device.isInput, device.isOutput);
  }
  return listing;
}

const CLIDeviceInfo* PanelModel::defaultOutput() const {
  if (state_.status.outputDevice) {
    const std::string& uid = state_.status.outputDevice->uid;
    const auto found = std::find_if(state_.devices.begin(), state_.devices.end(),
                                    [&](const CLIDeviceInfo& d) { return d.uid == uid; });
    if (found != state_.devices.end()) {
      return &*found;
    }
    return &*state_.status.outputDevice;
  }
  return nullptr;
}

const CLIDeviceInfo* PanelModel::defaultInput() const {
  if (state_.status.inputDevice) {
    return &*state_.status.inputDevice;
  }
  return nullptr;
}

double PanelModel::outputVolume() const {
  const CLIDeviceInfo* output = defaultOutput();
  if (output != nullptr && output->volume) {
    return *output->volume;
  }
  return state_.status.outputVolume;
}

bool PanelModel::outputMuted() const {
  const CLIDeviceInfo* output = defaultOutput();
  return output != nullptr && output->isMuted.value_or(false);
}

}  // namespace kestrune::panel
