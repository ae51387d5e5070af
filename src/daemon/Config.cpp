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

// Parses and decodes, turning every failure into an error at its place.
template <class Decode>
auto decodeConfig(std::string_view text, const std::string& path, Decode decode)
    -> decltype(decode(json::Decoder({}))) {
  json::Value root;
  try {
    root = json::parse(text);
  } catch (const json::ParseError& error) {
    throw ConfigFileError(path, error.line(), error.column(), error.reason());
  }
  try {
    return decode(json::Decoder(root));
  } catch (const json::DecodingError& error) {
    const auto position = eq::positionOf(text, eq::offsetOf(text, error.codingPath()));
    throw ConfigFileError(path, position.line, position.column, error.description());
  }
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

DeviceOrder parseDeviceOrder(std::string_view text, const std::string& path) {
  return decodeConfig(text, path, [](const json::Decoder& root) {
    const auto top = root.keyed("DeviceOrder");
    DeviceOrder order;
    order.output = top.decodeIfPresent<std::vector<std::string>>("output").value_or(
        std::vector<std::string>{});
    order.input =
        top.decodeIfPresent<std::vector<std::string>>("input").value_or(std::vector<std::string>{});
    return order;
  });
}

std::vector<Profile> readProfiles(const std::string& path) {
  const auto text = contentsOf(path);
  return text ? parseProfiles(*text, path) : std::vector<Profile>{};
}

DeviceOrder readDeviceOrder(const std::string& path) {
  const auto text = contentsOf(path);
  return text ? parseDeviceOrder(*text, path) : DeviceOrder{};
}

}  // namespace kestrune::daemon
