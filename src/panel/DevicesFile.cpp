#include "panel/DevicesFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <utility>

#include "json/Errors.h"

namespace kestrune::panel {

namespace {

QString absoluteEnvironment(const char* name) {
  const QString value = qEnvironmentVariable(name);
  return value.startsWith(QLatin1Char('/')) ? value : QString();
}

QString problem(const QString& path, const QString& what) {
  return QStringLiteral("%1: %2; not changed").arg(path, what);
}

std::optional<int> percentMember(const json::Object& object, std::string_view key) {
  const json::Value* value = object.find(key);
  const std::optional<std::int64_t> number = value ? value->exactInteger() : std::nullopt;
  if (!number || *number < 0 || *number > 100) {
    return std::nullopt;
  }
  return static_cast<int>(*number);
}

}  // namespace

QString configDirectory(const QString& override) {
  if (!override.isEmpty()) {
    return override;
  }
  const QString base = absoluteEnvironment("XDG_CONFIG_HOME");
  if (!base.isEmpty()) {
    return base + QStringLiteral("/kestrune");
  }
  const QString home = absoluteEnvironment("HOME");
  return (home.isEmpty() ? QDir::homePath() : home) + QStringLiteral("/.config/kestrune");
}

DevicesFile::DevicesFile(QString directory)
    : directory_(std::move(directory)), path_(directory_ + QStringLiteral("/devices.json")) {}

std::variant<json::Object, DevicesFileProblem> DevicesFile::read() const {
  QFile file(path_);
  if (!file.exists()) {
    return json::Object();
  }
  if (!file.open(QIODevice::ReadOnly)) {
    return DevicesFileProblem{problem(path_, QStringLiteral("cannot be read"))};
  }
  const QByteArray bytes = file.readAll();
  try {
    json::Value value = json::parse(std::string_view(bytes.constData(), bytes.size()));
    if (!value.isObject()) {
      return DevicesFileProblem{problem(path_, QStringLiteral("is not a JSON object"))};
    }
    return std::move(value.asObject());
  } catch (const json::ParseError& error) {
    return DevicesFileProblem{problem(path_, QStringLiteral("line %1, column %2: %3")
                                                 .arg(error.line())
                                                 .arg(error.column())
                                                 .arg(QString::fromStdString(error.reason())))};
  }
}

std::optional<DevicesFileProblem> DevicesFile::update(
    const std::function<void(json::Object&)>& change) const {
  auto found = read();
  if (auto* trouble = std::get_if<DevicesFileProblem>(&found)) {
    return *trouble;
  }
  auto& object = std::get<json::Object>(found);
  change(object);
  return write(object);
}

std::optional<DevicesFileProblem> DevicesFile::write(const json::Object& object) const {
  if (!QDir().mkpath(directory_)) {
    return DevicesFileProblem{problem(directory_, QStringLiteral("cannot be made"))};
  }
  // A temporary file beside it, renamed over it on commit.
  QSaveFile file(path_);
  const std::string text = json::writePretty(json::Value(object)) + "\n";
  const auto size = static_cast<qint64>(text.size());
  if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), size) != size || !file.commit()) {
    return DevicesFileProblem{problem(path_, QStringLiteral("cannot be written"))};
  }
  return std::nullopt;
}

DeviceSettings deviceSettings(const json::Object& object) {
  DeviceSettings settings;
  if (const json::Value* output = object.find("output"); output && output->isArray()) {
    for (const json::Value& uid : output->asArray()) {
      if (uid.isString()) {
        settings.output.push_back(uid.asString());
      }
    }
  }
  const json::Value* switchOnConnect = object.find("switchOnConnect");
  settings.switchOnConnect =
      switchOnConnect && switchOnConnect->isBool() && switchOnConnect->asBool();
  settings.newDeviceVolume = percentMember(object, "newDeviceVolume");
  settings.maxVolume = percentMember(object, "maxVolume");
  if (const json::Value* correction = object.find("correction");
      correction && correction->isObject()) {
    for (const auto& [uid, preset] : correction->asObject()) {
      if (preset.isString()) {
        settings.correction.emplace(uid, preset.asString());
      }
    }
  }
  return settings;
}

void setOptionalPercent(json::Object& object, const std::string& key, std::optional<int> value) {
  if (value) {
    object.set(key, json::Value(*value));
  } else {
    object.erase(key);
  }
}

void setCorrection(json::Object& object, const std::string& uid,
                   const std::optional<std::string>& preset) {
  json::Value* found = object.find("correction");
  if (found == nullptr || !found->isObject()) {
    if (!preset) {
      return;
    }
    found = &object.set("correction", json::Value(json::Object()));
  }
  json::Object& correction = found->asObject();
  if (preset) {
    correction.set(uid, json::Value(*preset));
  } else {
    correction.erase(uid);
  }
  if (correction.empty()) {
    object.erase("correction");
  }
}

}  // namespace kestrune::panel
