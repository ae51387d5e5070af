#include "watch/Template.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "platform/VisibleText.h"

namespace kestrune::watch {

namespace {

constexpr std::size_t placeholderCount = 13;

constexpr std::array<std::string_view, placeholderCount> names = {
    "volume", "muted",  "micMuted", "silent", "output",  "input",  "apps",
    "title",  "artist", "album",    "player", "playing", "battery"};

std::optional<Placeholder> placeholderNamed(std::string_view name) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) {
      return static_cast<Placeholder>(i);
    }
  }
  return std::nullopt;
}

std::string everyPlaceholder() {
  std::string list;
  for (const std::string_view name : names) {
    list += list.empty() ? "{" : ", {";
    list += name;
    list += "}";
  }
  return list;
}

FeedKind kindOf(Placeholder placeholder) {
  switch (placeholder) {
    case Placeholder::title:
    case Placeholder::artist:
    case Placeholder::album:
    case Placeholder::player:
    case Placeholder::playing:
      return FeedKind::media;
    case Placeholder::battery:
      return FeedKind::bluetooth;
    default:
      return FeedKind::status;
  }
}

std::string flag(bool value) {
  return value ? "true" : "false";
}

std::string flag(const std::optional<bool>& value) {
  return value ? flag(*value) : std::string();
}

std::string text(const std::optional<std::string>& value) {
  return value.value_or(std::string());
}

// A volume such as 39.9 shows as 39: the bar never claims more than is set.
std::string wholeNumber(double value) {
  if (!std::isfinite(value) || std::fabs(value) > 1e15) {
    return {};
  }
  return std::to_string(static_cast<std::int64_t>(std::trunc(value)));
}

std::string deviceName(const std::optional<CLIDeviceInfo>& device) {
  return device ? device->name : std::string();
}

std::string statusValue(Placeholder placeholder, const CLIStatusInfo& status) {
  switch (placeholder) {
    case Placeholder::volume:
      return wholeNumber(status.outputVolume);
    case Placeholder::muted:
      return status.outputDevice ? flag(status.outputDevice->isMuted) : std::string();
    case Placeholder::micMuted:
      return flag(status.isMuted);
    case Placeholder::silent:
      return flag(status.isSilentMode);
    case Placeholder::output:
      return deviceName(status.outputDevice);
    case Placeholder::input:
      return deviceName(status.inputDevice);
    case Placeholder::apps:
      return std::to_string(status.activeAppCount);
    default:
      return {};
  }
}

std::string mediaValue(Placeholder placeholder, const CLIMediaInfo& media) {
  switch (placeholder) {
    case Placeholder::title:
      return text(media.title);
    case Placeholder::artist:
      return text(media.artist);
    case Placeholder::album:
      return text(media.album);
    case Placeholder::player:
      return text(media.player);
    case Placeholder::playing:
      return media.isPlaying ? "\u25B6" : "\u23F8";
    default:
      return {};
  }
}

std::string lowestBattery(const std::vector<CLIBluetoothInfo>& devices) {
  std::optional<std::int64_t> lowest;
  for (const CLIBluetoothInfo& device : devices) {
    if (device.isConnected && device.batteryLevel) {
      lowest =
          std::min(lowest.value_or(std::numeric_limits<std::int64_t>::max()), *device.batteryLevel);
    }
  }
  return lowest ? std::to_string(*lowest) : std::string();
}

std::string value(Placeholder placeholder, const FeedState& state) {
  switch (kindOf(placeholder)) {
    case FeedKind::media:
      return state.media ? mediaValue(placeholder, *state.media) : std::string();
    case FeedKind::bluetooth:
      return state.bluetoothUnavailable ? std::string() : lowestBattery(state.bluetooth);
    default:
      // Without the sound server the status holds no real values.
      return state.statusUnavailable ? std::string() : statusValue(placeholder, state.status);
  }
}

}  // namespace

std::string_view placeholderName(Placeholder placeholder) {
  return names[static_cast<std::size_t>(placeholder)];
}

Template Template::parse(std::string_view text) {
  Template parsed;
  std::string literal;
  const auto flushLiteral = [&] {
    if (!literal.empty()) {
      parsed.parts_.push_back({std::move(literal), std::nullopt});
      literal.clear();
    }
  };
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
      literal += c;
      i += 2;
      continue;
    }
    if (c == '}') {
      throw TemplateError("a '}' without its '{' (write '}}' for a brace)");
    }
    if (c != '{') {
      literal += c;
      ++i;
      continue;
    }
    const std::size_t close = text.find('}', i + 1);
    if (close == std::string_view::npos) {
      throw TemplateError("a '{' without its '}' (write '{{' for a brace)");
    }
    const std::string_view name = text.substr(i + 1, close - i - 1);
    const auto placeholder = placeholderNamed(name);
    if (!placeholder) {
      throw TemplateError("unknown placeholder '{" + std::string(name) +
                          "}' (the placeholders are " + everyPlaceholder() + ")");
    }
    flushLiteral();
    parsed.parts_.push_back({{}, placeholder});
    i = close + 1;
  }
  flushLiteral();
  return parsed;
}

std::string Template::render(const FeedState* state, FeedKinds followed) const {
  std::string line;
  for (const Part& part : parts_) {
    if (!part.placeholder) {
      line += part.text;
    } else if (state != nullptr && followed.has(kindOf(*part.placeholder))) {
      // A name with a line break or a control in it still makes one line.
      line += platform::visibleText(value(*part.placeholder, *state));
    }
  }
  return line;
}

FeedKinds Template::kindsUsed() const {
  FeedKinds kinds = FeedKinds::none();
  for (const Part& part : parts_) {
    if (part.placeholder) {
      kinds.add(kindOf(*part.placeholder));
    }
  }
  return kinds;
}

}  // namespace kestrune::watch
