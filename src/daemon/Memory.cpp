#include "daemon/Memory.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "json/Decoder.h"
#include "json/Value.h"
#include "platform/Files.h"

namespace kestrune::daemon {

namespace {

json::Value encode(const AppSettings& settings) {
  return json::ObjectBuilder()
      .addIfPresent("volume", settings.volume)
      .addIfPresent("muted", settings.muted)
      .addIfPresent("device", settings.device)
      .addIfPresent("eq", settings.eqPreset)
      .addIfPresent("balance", settings.balance)
      .build();
}

AppSettings decodeApp(const json::KeyedDecoder& app) {
  AppSettings settings;
  settings.volume = app.decodeIfPresent<double>("volume");
  settings.muted = app.decodeIfPresent<bool>("muted");
  settings.device = app.decodeIfPresent<std::string>("device");
  settings.eqPreset = app.decodeIfPresent<std::string>("eq");
  settings.balance = app.decodeIfPresent<double>("balance");
  return settings;
}

}  // namespace

Memory::Memory(std::optional<std::string> path, Log log)
    : path_(std::move(path)), log_(std::move(log)) {
  load();
}

void Memory::load() {
  if (!path_ || !platform::pathExists(*path_)) {
    return;
  }
  try {
    std::ifstream file(*path_, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file) {
      throw std::runtime_error("it cannot be read");
    }
    const json::Value root = json::parse(text.str());
    const auto top = json::Decoder(root).keyed("Settings");
    silentMode_ = top.decodeIfPresent<bool>("silentMode").value_or(false);
    if (top.contains("apps")) {
      const auto apps = top.nested("apps");
      for (const auto& id : apps.allKeys()) {
        apps_[std::string(id)] = decodeApp(apps.nested(id, "AppSettings"));
      }
    }
  } catch (const std::exception& error) {
    apps_.clear();
    silentMode_ = false;
    log_("ignoring the remembered settings in " + *path_ + ": " + error.what());
  }
}

void Memory::save() const {
  if (!path_) {
    return;
  }
  json::Object apps;
  for (const auto& [id, settings] : apps_) {
    if (!settings.empty()) {
      apps.set(id, encode(settings));
    }
  }
  const json::Value root =
      json::ObjectBuilder().add("silentMode", silentMode_).add("apps", std::move(apps)).build();
  try {
    platform::createDirectories(std::filesystem::path(*path_).parent_path().string());
    platform::writeFileAtomically(*path_, json::writePretty(root) + "\n");
  } catch (const std::exception& error) {
    // The change stands for this run; say once per failure why it will not last.
    log_("could not save the remembered settings to " + *path_ + ": " + error.what());
  }
}

std::optional<AppSettings> Memory::app(const std::string& id) const {
  const std::lock_guard lock(mutex_);
  const auto found = apps_.find(id);
  if (found == apps_.end()) {
    return std::nullopt;
  }
  return found->second;
}

void Memory::updateApp(const std::string& id, const std::function<void(AppSettings&)>& change) {
  const std::lock_guard lock(mutex_);
  change(apps_[id]);
  save();
}

bool Memory::silentMode() const {
  const std::lock_guard lock(mutex_);
  return silentMode_;
}

void Memory::setSilentMode(bool on) {
  const std::lock_guard lock(mutex_);
  silentMode_ = on;
  save();
}

}  // namespace kestrune::daemon
