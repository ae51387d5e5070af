#include "panel/PanelModel.h"

#include <algorithm>

#include "json/Errors.h"

namespace kestrune::panel {

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
  const json::Value* name = frame.find("event");
  const bool snapshot = name != nullptr && name->isString() && name->asString() == "snapshot";
  try {
    if (snapshot) {
      state_ = FeedState{};
    }
    applyFeedEvent(state_, frame);
  } catch (const json::DecodingError&) {
    // A later version's or a broken frame: the rest of the state stands.
    return;
  }
  if (snapshot) {
    connected_ = true;
  }
  emit changed();
}

void PanelModel::setUnreachable(const QString& sentence) {
  if (!connected_ && unreachable_ == sentence) {
    return;
  }
  connected_ = false;
  unreachable_ = sentence;
  emit changed();
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

const CLIAppInfo* PanelModel::app(const std::string& id) const {
  const auto found = std::find_if(state_.apps.begin(), state_.apps.end(),
                                  [&](const CLIAppInfo& a) { return a.id == id; });
  return found == state_.apps.end() ? nullptr : &*found;
}

}  // namespace kestrune::panel
