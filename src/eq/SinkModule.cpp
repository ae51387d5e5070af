#include "eq/SinkModule.h"

#include <unistd.h>

#include <array>
#include <charconv>
#include <filesystem>
#include <system_error>
#include <vector>

#include "eq/PluginInfo.h"

namespace kestrune::eq {

namespace {

std::string numberText(double value) {
  std::array<char, 32> buffer{};
  const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return error == std::errc() ? std::string(buffer.data(), end) : std::string("0");
}

std::string withoutQuotes(const std::string& text) {
  std::string result;
  for (const char c : text) {
    if (c != '"' && c != '\'' && c != '\\') {
      result.push_back(c);
    }
  }
  return result;
}

std::string pluginFileName() {
  return std::string(pluginName) + ".so";
}

}  // namespace

std::string controlArgument(const BandGains& gains) {
  std::string text;
  for (const double gain : gains) {
    text += (text.empty() ? "" : ",") + numberText(gain);
  }
  return text;
}

std::string controlArgument(const Parametric& preset) {
  std::string text = numberText(preset.preamp);
  for (std::size_t index = 0; index < maxFilters; ++index) {
    if (index >= preset.filters.size()) {
      text += "," + numberText(parametricTypeOff) + ",1000,0,1";
      continue;
    }
    const ParametricFilter& filter = preset.filters[index];
    const float type = filter.type == FilterType::lowShelf    ? parametricTypeLowShelf
                       : filter.type == FilterType::highShelf ? parametricTypeHighShelf
                                                              : parametricTypePeaking;
    text += "," + numberText(type) + "," + numberText(filter.frequency) + "," +
            numberText(filter.gain) + "," + numberText(filter.q);
  }
  return text;
}

std::string installedPluginFilePath() {
  return std::string(KESTRUNE_LADSPA_DIR) + "/" + pluginFileName();
}

std::string pluginFilePath() {
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path directory = executable.parent_path();
    const std::filesystem::path relativeDirectory(KESTRUNE_LADSPA_RELATIVE_DIR);
    // A build tree, then an installation moved to another prefix (bin/ and
    // lib/ladspa/ side by side).
    std::vector<std::filesystem::path> candidates = {directory / pluginFileName()};
    if (relativeDirectory.is_relative()) {
      candidates.push_back(directory.parent_path() / relativeDirectory / pluginFileName());
    }
    for (const std::filesystem::path& candidate : candidates) {
      if (std::filesystem::exists(candidate, error)) {
        return candidate.lexically_normal().string();
      }
    }
  }
  return installedPluginFilePath();
}

std::string ladspaSinkArguments(const EqualizerSink& sink, const std::string& pluginPath) {
  std::string properties = "device.description='" + withoutQuotes(sink.description) + "'";
  for (const auto& [key, value] : sink.properties) {
    properties += " " + key + "='" + withoutQuotes(value) + "'";
  }
  return "sink_name=" + sink.sinkName + " sink_master=" + sink.masterSink + " sink_properties=\"" +
         properties + "\"" + " channels=2 channel_map=front-left,front-right" + " plugin=\"" +
         pluginPath +
         "\" label=" + std::string(sink.parametric ? parametricPluginLabel : pluginLabel) +
         " control=" +
         (sink.parametric ? controlArgument(*sink.parametric) : controlArgument(sink.gains));
}

}  // namespace kestrune::eq
