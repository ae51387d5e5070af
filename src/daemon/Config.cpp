#include "daemon/Config.h"

#include <string_view>
#include <utility>

#include "eq/TextPosition.h"
#include "json/Decoder.h"
#include "json/Value.h"
#include "platform/ConfigFile.h"

namespace kestrune::daemon {

namespace {

constexpr double maxAppVolume = 200;

constexpr double maxDeviceVolume = 100;

ConfigFileError locatedError(std::string_view text, const std::string& path,
                             const json::DecodingError& error) {
  const auto position = eq::positionOf(text, eq::offsetOf(text, error.codingPath()));
  return {path, position.line, position.column, error.description()};
}

json::Value parsed(std::string_view text, const std::string& path) {
  try {
    return json::parse(text);
  } catch (const json::ParseError& error) {
    throw ConfigFileError(path, error.line(), error.column(), error.reason());
  }
}

// Parses and decodes, turning every failure into an error at its place.
template <class Decode>
auto decodeConfig(std::string_view text, const std::string& path, Decode decode)
    -> decltype(decode(json::Decoder({}))) {
  const json::Value root = parsed(text, path);
  try {
    return decode(json::Decoder(root));
  } catch (const json::DecodingError& error) {
    throw locatedError(text, path, error);
  }
}

// Decodes the members of an object one at a time: one that cannot be used
// is left as it was, its problem noted at its place.
class MemberByMember {
 public:
  MemberByMember(std::string_view text, const std::string& path, std::vector<std::string>& problems)
      : text_(text), path_(path), problems_(problems) {}

  template <class Decode>
  void read(Decode decode) {
    try {
      decode();
    } catch (const json::DecodingError& error) {
      problems_.push_back(locatedError(text_, path_, error).description());
    }
  }

 private:
  std::string_view text_;
  const std::string& path_;
  std::vector<std::string>& problems_;
};

std::optional<double> percentMember(const json::KeyedDecoder& object, std::string_view key) {
  const auto percent = object.decodeIfPresent<double>(key);
  if (percent && !(*percent >= 0 && *percent <= maxDeviceVolume)) {
    throw object.member(key).dataCorrupted("A volume must be between 0 and 100.");
  }
  return percent;
}

// "correction": device UID to preset name, each a string.
std::map<std::string, std::string> corrections(const json::KeyedDecoder& object) {
  std::map<std::string, std::string> result;
  if (!object.memberIfPresent("correction")) {
    return result;
  }
  const auto presets = object.nested("correction");
  for (const std::string_view device : presets.allKeys()) {
    result.emplace(device, presets.decode<std::string>(device));
  }
  return result;
}

// The file's text; nothing when there is no file.
std::optional<std::string> contentsOf(const std::string& path) {
  try {
    auto read = platform::readConfigText(path);
    if (!read) {
      return std::nullopt;
    }
    return std::move(read->text);
  } catch (const platform::ConfigReadError& error) {
    throw ConfigFileError(path, error.reason());
  }
}

ProfileEntry decodeEntry(const json::KeyedDecoder& entry) {
  ProfileEntry result;
  result.app = entry.decode<std::string>("app");
  result.volume = entry.decodeIfPresent<double>("volume");
  if (result.volume && !(*result.volume >= 0 && *result.volume <= maxAppVolume)) {
    throw json::DecodingError(json::DecodingError::Kind::dataCorrupted,
                              entry.member("volume").codingPath(),
                              "A volume must be between 0 and 200.");
  }
  result.muted = entry.decodeIfPresent<bool>("muted");
  result.device = entry.decodeIfPresent<std::string>("device");
  result.eqPreset = entry.decodeIfPresent<std::string>("eq");
  return result;
}

}  // namespace

std::vector<Profile> parseProfiles(std::string_view text, const std::string& path) {
  return decodeConfig(text, path, [](const json::Decoder& root) {
    std::vector<Profile> profiles;
    const auto top = root.keyed("Profiles");
    if (!top.contains("profiles")) {
      return profiles;
    }
    const auto list = top.nestedArray("profiles");
    for (std::size_t i = 0; i < list.size(); ++i) {
      const auto item = list.nested(i, "Profile");
      Profile profile;
      profile.name = item.decode<std::string>("name");
      profile.id = item.decodeIfPresent<std::string>("id").value_or(profile.name);
      if (item.contains("apps")) {
        const auto apps = item.nestedArray("apps");
        for (std::size_t j = 0; j < apps.size(); ++j) {
          profile.entries.push_back(decodeEntry(apps.nested(j, "ProfileEntry")));
        }
      }
      profiles.push_back(std::move(profile));
    }
    return profiles;
  });
}

DevicesFile parseDevicesFile(std::string_view text, const std::string& path) {
  const json::Value root = parsed(text, path);
  std::optional<json::KeyedDecoder> top;
  try {
    top = json::Decoder(root).keyed("Devices");
  } catch (const json::DecodingError& error) {
    throw locatedError(text, path, error);
  }
  DevicesFile file;
  MemberByMember members(text, path, file.problems);
  using Names = std::vector<std::string>;
  members.read([&] { file.output = top->decodeIfPresent<Names>("output").value_or(Names{}); });
  members.read([&] { file.input = top->decodeIfPresent<Names>("input").value_or(Names{}); });
  members.read([&] {
    file.switchOnConnect = top->decodeIfPresent<bool>("switchOnConnect").value_or(false);
  });
  members.read([&] { file.newDeviceVolume = percentMember(*top, "newDeviceVolume"); });
  members.read([&] { file.maxVolume = percentMember(*top, "maxVolume"); });
  members.read([&] { file.correction = corrections(*top); });
  return file;
}

std::vector<Profile> readProfiles(const std::string& path) {
  const auto text = contentsOf(path);
  return text ? parseProfiles(*text, path) : std::vector<Profile>{};
}

DevicesFile readDevicesFile(const std::string& path) {
  const auto text = contentsOf(path);
  return text ? parseDevicesFile(*text, path) : DevicesFile{};
}

}  // namespace kestrune::daemon
