#include "app/Render.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>
#include <type_traits>
#include <variant>

#include "ArgumentParser/StandardStreams.h"
#include "app/Characters.h"
#include "json/Errors.h"
#include "platform/VisibleText.h"
#include "protocol/Coding.h"

namespace kestrune {

bool jsonOutput = false;

namespace {

// Text put together with << as on a stream, in the form a stream would
// give it, without the stream library. Names come from other programs, so
// every string shows its control characters visibly (platform::visibleText):
// a line ends only where a '\n' character is added.
class TextBuilder {
 public:
  TextBuilder& operator<<(std::string_view text) {
    text_ += platform::visibleText(text);
    return *this;
  }
  // Text already made visible, as table cells are to be measured.
  TextBuilder& appendVisible(std::string_view text) {
    text_ += text;
    return *this;
  }
  TextBuilder& operator<<(char c) {
    text_ += c;
    return *this;
  }
  TextBuilder& operator<<(std::int64_t number) {
    text_ += std::to_string(number);
    return *this;
  }
  std::string take() { return std::move(text_); }

 private:
  std::string text_;
};

constexpr std::string_view kCheckMark = "✓";
constexpr std::string_view kMissing = "—";
constexpr std::string_view kRule = "─";
constexpr std::string_view kPlaying = "▶";
constexpr std::string_view kPaused = "⏸";
constexpr std::string_view kEncodingFailedLine =
    R"({"success": false, "error": "Failed to encode response"})";

// The whole number of a Double when it fits in 64 bits.
std::optional<std::int64_t> truncatedInt64(double value) {
  // 2^63 is exact as a Double; every finite Double below it converts safely.
  constexpr double kLimit = 9223372036854775808.0;
  if (!std::isfinite(value)) {
    return std::nullopt;
  }
  const double whole = std::trunc(value);
  if (whole >= kLimit || whole < -kLimit) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(whole);
}

std::string fixedText(double value, int precision) {
  char buffer[400];  // The largest finite Double has 309 integral digits.
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
  if (result.ec != std::errc()) {
    return "nan";
  }
  return std::string(buffer, result.ptr);
}

std::string countPercentage(std::int64_t value) {
  return std::to_string(value) + "%";
}

const char* yesNo(bool value) {
  return value ? "Yes" : "No";
}

bool isValidUTF8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
      ++i;
      continue;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      low = lead == 0xE0 ? 0xA0 : 0x80;
      high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      low = lead == 0xF0 ? 0x90 : 0x80;
      high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
      return false;
    }
    if (i + length > text.size()) {
      return false;
    }
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
        return false;
      }
    }
    i += length;
  }
  return true;
}

std::string padded(std::string_view text, std::size_t width) {
  std::string result(text);
  const std::size_t count = characterCount(text);
  if (count < width) {
    result.append(width - count, ' ');
  }
  return result;
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
  std::string result;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) {
      result += separator;
    }
    result += parts[i];
  }
  return result;
}

// Tables -------------------------------------------------------------------

void appendTable(const std::vector<std::string>& headers,
                 const std::vector<std::vector<std::string>>& rows, TextBuilder& out);

std::string ioText(const CLIDeviceInfo& device) {
  std::vector<std::string> sides;
  if (device.isOutput) {
    sides.emplace_back("O");
  }
  if (device.isInput) {
    sides.emplace_back("I");
  }
  return joined(sides, "/");
}

std::string checkIf(bool value) {
  return value ? std::string(kCheckMark) : std::string();
}

void printDeviceTable(const std::vector<CLIDeviceInfo>& devices, TextBuilder& out) {
  std::vector<std::vector<std::string>> rows;
  rows.reserve(devices.size());
  for (const auto& device : devices) {
    rows.push_back({device.uid, device.name, device.transportType.value_or(std::string(kMissing)),
                    ioText(device), checkIf(device.isDefault)});
  }
  appendTable({"UID", "NAME", "TYPE", "I/O", "DEFAULT"}, rows, out);
}

std::string appDeviceText(const CLIAppInfo& app) {
  if (app.deviceName) {
    return *app.deviceName;
  }
  return app.deviceUID.value_or("default");
}

void printAppTable(const std::vector<CLIAppInfo>& apps, TextBuilder& out) {
  std::vector<std::vector<std::string>> rows;
  rows.reserve(apps.size());
  for (const auto& app : apps) {
    rows.push_back({app.name, percentage(app.volume), checkIf(app.isMuted), appDeviceText(app),
                    app.eqPreset.value_or(std::string(kMissing))});
  }
  appendTable({"APP", "VOLUME", "MUTED", "DEVICE", "EQ"}, rows, out);
}

void printProfileTable(const std::vector<CLIProfileInfo>& profiles, TextBuilder& out) {
  std::vector<std::vector<std::string>> rows;
  rows.reserve(profiles.size());
  for (const auto& profile : profiles) {
    rows.push_back({profile.name, std::to_string(profile.appCount)});
  }
  appendTable({"NAME", "APPS"}, rows, out);
}

void printBluetoothTable(const std::vector<CLIBluetoothInfo>& devices, TextBuilder& out) {
  if (devices.empty()) {
    out << "No Bluetooth audio devices connected." << '\n';
    return;
  }
  std::vector<std::vector<std::string>> rows;
  rows.reserve(devices.size());
  for (const auto& device : devices) {
    rows.push_back({device.name, device.batteryLevel ? countPercentage(*device.batteryLevel)
                                                     : std::string(kMissing)});
  }
  appendTable({"DEVICE", "BATTERY"}, rows, out);
}

// Detail blocks --------------------------------------------------------------

void printDeviceBlock(const CLIDeviceInfo& device, TextBuilder& out) {
  out << device.name << '\n';
  out << "  UID:       " << device.uid << '\n';
  if (device.transportType) {
    out << "  Transport: " << *device.transportType << '\n';
  }
  std::vector<std::string> types;
  if (device.isOutput) {
    types.emplace_back("Output");
  }
  if (device.isInput) {
    types.emplace_back("Input");
  }
  out << "  Type:      " << joined(types, ", ") << '\n';
  if (device.isDefault) {
    out << "  Default:   " << kCheckMark << '\n';
  }
}

void printAppBlock(const CLIAppInfo& app, TextBuilder& out) {
  out << app.name << '\n';
  out << "  ID:      " << app.id << '\n';
  if (app.bundleID) {
    out << "  Bundle:  " << *app.bundleID << '\n';
  }
  out << "  Volume:  " << percentage(app.volume) << '\n';
  out << "  Muted:   " << yesNo(app.isMuted) << '\n';
  if (app.deviceUID) {
    out << "  Device:  " << app.deviceName.value_or(*app.deviceUID) << '\n';
  }
  if (app.eqPreset) {
    out << "  EQ:      " << *app.eqPreset << '\n';
  }
  if (app.balance) {
    out << "  Balance: " << percentage(*app.balance) << '\n';
  }
}

void printMediaBlock(const CLIMediaInfo& media, TextBuilder& out) {
  if (media.title) {
    out << (media.isPlaying ? kPlaying : kPaused) << ' ' << *media.title << '\n';
  } else if (!media.isPlaying) {
    out << "Nothing playing" << '\n';
    return;
  }
  if (media.artist) {
    out << "  Artist: " << *media.artist << '\n';
  }
  if (media.album) {
    out << "  Album:  " << *media.album << '\n';
  }
  if (media.player) {
    out << "  Player: " << *media.player << '\n';
  }
  if (media.position && media.duration) {
    out << "  Time:   " << formatTime(*media.position) << " / " << formatTime(*media.duration)
        << '\n';
  }
  if (media.volume) {
    out << "  Volume: " << percentage(*media.volume) << '\n';
  }
}

void printStatusBlock(const CLIStatusInfo& status, TextBuilder& out) {
  out << "Kestrune v" << status.version << '\n';
  out << "  Running:      " << kCheckMark << '\n';
  if (status.outputDevice) {
    out << "  Output:       " << status.outputDevice->name << '\n';
  }
  if (status.inputDevice) {
    out << "  Input:        " << status.inputDevice->name << '\n';
  }
  out << "  Volume:       " << percentage(status.outputVolume) << '\n';
  out << "  Muted:        " << yesNo(status.isMuted) << '\n';
  out << "  Silent mode:  " << (status.isSilentMode ? "On" : "Off") << '\n';
  out << "  Active apps:  " << status.activeAppCount << '\n';
  out << "  CLI installed: " << yesNo(status.cliInstalled) << '\n';
}

std::string frequencyLabel(double frequency) {
  if (frequency >= 1000) {
    return wholeNumber(frequency / 1000) + "k";
  }
  return wholeNumber(frequency);
}

std::string gainText(double gain) {
  if (std::isnan(gain)) {
    return "nan";
  }
  // Adding zero turns -0.0 into 0.0, which prints "+0.0" rather than "+-0.0".
  const double normalized = gain + 0.0;
  const std::string sign = normalized >= 0 ? "+" : "";
  if (std::isinf(normalized)) {
    return sign + (normalized > 0 ? "inf" : "-inf");
  }
  return sign + fixedText(normalized, 1);
}

void printEQBlock(const CLIEQInfo& eq, TextBuilder& out) {
  out << "EQ: " << (eq.isEnabled ? "Enabled" : "Disabled") << '\n';
  if (eq.preset) {
    out << "  Preset: " << *eq.preset << '\n';
  }
  for (const auto& band : eq.bands) {
    const std::string label = frequencyLabel(band.frequency);
    out << "  " << padded(characterPrefix(label, 5), 5) << " Hz: " << gainText(band.gain) << " dB"
        << '\n';
  }
}

std::vector<std::vector<std::string>> visibleCells(
    const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::vector<std::string>> visible;
  visible.reserve(rows.size());
  for (const auto& row : rows) {
    std::vector<std::string> cells;
    cells.reserve(row.size());
    for (const auto& cell : row) {
      cells.push_back(platform::visibleText(cell));
    }
    visible.push_back(std::move(cells));
  }
  return visible;
}

void appendTable(const std::vector<std::string>& headers,
                 const std::vector<std::vector<std::string>>& rows, TextBuilder& out) {
  if (rows.empty()) {
    out << "(none)" << '\n';
    return;
  }
  // Measured as they will show, escapes included.
  const std::vector<std::vector<std::string>> visibleRows = visibleCells(rows);
  std::vector<std::size_t> widths;
  widths.reserve(headers.size());
  for (const auto& header : headers) {
    widths.push_back(characterCount(header));
  }
  for (const auto& row : visibleRows) {
    for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) {
      widths[i] = std::max(widths[i], characterCount(row[i]));
    }
  }
  auto line = [&](const std::vector<std::string>& cells) {
    std::vector<std::string> parts;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      parts.push_back(i < widths.size() ? padded(cells[i], widths[i]) : cells[i]);
    }
    out.appendVisible(joined(parts, "  ")) << '\n';
  };
  line(headers);
  std::vector<std::string> rules;
  for (const std::size_t width : widths) {
    std::string rule;
    for (std::size_t i = 0; i < width; ++i) {
      rule += kRule;
    }
    rules.push_back(std::move(rule));
  }
  out << joined(rules, "  ") << '\n';
  for (const auto& row : visibleRows) {
    line(row);
  }
}

void appendData(const CLIResponseData& data, const std::optional<std::string>& message,
                TextBuilder& out) {
  std::visit(
      [&out](const auto& payload) {
        using T = std::decay_t<decltype(payload)>;
        const auto& value = payload.value;
        if constexpr (std::is_same_v<T, CLIResponseData::Volume>) {
          out << percentage(value) << '\n';
        } else if constexpr (std::is_same_v<T, CLIResponseData::Muted>) {
          out << (value ? "Muted" : "Unmuted") << '\n';
        } else if constexpr (std::is_same_v<T, CLIResponseData::SilentMode>) {
          out << "Silent mode: " << (value ? "on" : "off") << '\n';
        } else if constexpr (std::is_same_v<T, CLIResponseData::Device>) {
          printDeviceBlock(value, out);
        } else if constexpr (std::is_same_v<T, CLIResponseData::Devices>) {
          printDeviceTable(value, out);
        } else if constexpr (std::is_same_v<T, CLIResponseData::Apps>) {
          printAppTable(value, out);
        } else if constexpr (std::is_same_v<T, CLIResponseData::App>) {
          printAppBlock(value, out);
        } else if constexpr (std::is_same_v<T, CLIResponseData::Profiles>) {
          printProfileTable(value, out);
        } else if constexpr (std::is_same_v<T, CLIResponseData::MediaInfo>) {
          printMediaBlock(value, out);
        } else if constexpr (std::is_same_v<T, CLIResponseData::Bluetooth>) {
          printBluetoothTable(value, out);
        } else if constexpr (std::is_same_v<T, CLIResponseData::Status>) {
          printStatusBlock(value, out);
        } else if constexpr (std::is_same_v<T, CLIResponseData::Version>) {
          out << "Kestrune v" << value.version << " (build " << value.build << ")" << '\n';
        } else if constexpr (std::is_same_v<T, CLIResponseData::Eq>) {
          printEQBlock(value, out);
        } else if constexpr (std::is_same_v<T, CLIResponseData::Text>) {
          out << value << '\n';
        } else if constexpr (std::is_same_v<T, CLIResponseData::Bool>) {
          out << (value ? "true" : "false") << '\n';
        } else {
          static_assert(std::is_same_v<T, CLIResponseData::EqPresets>);
          for (const EQPresetInfo& preset : value) {
            out << preset.name << '\n';
          }
        }
      },
      data.value);
  if (message) {
    out << *message << '\n';
  }
}

}  // namespace

std::string wholeNumber(double value) {
  if (const auto whole = truncatedInt64(value)) {
    return std::to_string(*whole);
  }
  if (std::isnan(value)) {
    return "nan";
  }
  if (std::isinf(value)) {
    return value > 0 ? "inf" : "-inf";
  }
  return fixedText(std::trunc(value), 0);
}

std::string percentage(double value) {
  return wholeNumber(value) + "%";
}

std::string formatTime(double seconds) {
  const auto whole = truncatedInt64(seconds);
  if (!whole) {
    return wholeNumber(seconds);
  }
  // Signs are kept out of the two parts so that -65 reads "-1:05", not "-1:-5".
  const std::int64_t minutes = *whole / 60;
  const std::int64_t rest = *whole % 60;
  std::string text = *whole < 0 ? "-" : "";
  text += std::to_string(minutes < 0 ? -minutes : minutes);
  text += ':';
  const std::int64_t restAbs = rest < 0 ? -rest : rest;
  if (restAbs < 10) {
    text += '0';
  }
  text += std::to_string(restAbs);
  return text;
}

std::string errorText(std::string_view message) {
  TextBuilder text;
  text << "Error: " << message << '\n';
  return text.take();
}

std::string tableText(const std::vector<std::string>& headers,
                      const std::vector<std::vector<std::string>>& rows) {
  TextBuilder text;
  appendTable(headers, rows, text);
  return text.take();
}

std::string dataText(const CLIResponseData& data, const std::optional<std::string>& message) {
  TextBuilder text;
  appendData(data, message, text);
  return text.take();
}

std::string jsonText(const CLIResponse& response) {
  std::string text;
  try {
    text = encodePrettySorted(response);
  } catch (const json::EncodingError&) {
    return std::string(kEncodingFailedLine) + '\n';
  }
  if (!isValidUTF8(text)) {
    return std::string(kEncodingFailedLine) + '\n';
  }
  return text + '\n';
}

ResponseText responseText(const CLIResponse& response) {
  if (jsonOutput) {
    return {jsonText(response), {}};
  }
  if (!response.success) {
    return {{}, errorText(response.error.value_or("Unknown error"))};
  }
  if (response.data) {
    return {dataText(*response.data, response.message), {}};
  }
  if (response.message) {
    TextBuilder text;
    text << *response.message << '\n';
    return {text.take(), {}};
  }
  return {};
}

void printResponse(const CLIResponse& response) {
  const ResponseText text = responseText(response);
  argparse::standardOutput().write(text.out);
  argparse::standardError().write(text.err);
}

void printError(std::string_view message) {
  argparse::standardError().write(errorText(message));
}

}  // namespace kestrune
