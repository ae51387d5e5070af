#include "watch/WatchCommandLine.h"

#include "platform/OptionParser.h"
#include "protocol/SocketPath.h"

#ifndef KESTRUNE_VERSION
#define KESTRUNE_VERSION "0.0.0"
#endif

namespace kestrune::watch {

namespace {

// "status,media": adds the kinds named, each known; or why not.
platform::OptionParser::Refusal addKinds(FeedKinds& kinds, const std::string& list) {
  std::string_view rest(list);
  while (true) {
    const auto comma = rest.find(',');
    const std::string_view name = rest.substr(0, comma);
    const auto kind = feedKindNamed(name);
    if (!kind) {
      return (name.empty() ? std::string("an empty kind")
                           : "unknown kind '" + std::string(name) + "'") +
             " (the kinds are status, devices, apps, media, bluetooth)";
    }
    kinds.add(*kind);
    if (comma == std::string_view::npos) {
      return std::nullopt;
    }
    rest.remove_prefix(comma + 1);
  }
}

platform::OptionParser::Refusal setTemplate(std::optional<Template>& format,
                                            const std::string& text) {
  try {
    format = Template::parse(text);
    return std::nullopt;
  } catch (const TemplateError& error) {
    return error.description();
  }
}

}  // namespace

FeedKinds WatchOptions::subscribedKinds() const {
  if (!only.isAll() || !format) {
    return only;
  }
  FeedKinds used = format->kindsUsed();
  if (used.empty()) {
    used.add(FeedKind::status);
  }
  return used;
}

WatchOptions parseWatchArguments(const std::vector<std::string>& arguments) {
  WatchOptions options;
  std::optional<FeedKinds> only;
  const auto refusal =
      platform::OptionParser()
          .flag({"-h", "--help"}, options.showHelp)
          .flag({"--version"}, options.showVersion)
          .path("--socket", options.socketPath)
          .option("--only",
                  [&only](const std::string& kinds) {
                    if (!only) {
                      only = FeedKinds::none();
                    }
                    return addKinds(*only, kinds);
                  })
          .option("--format",
                  [&options](const std::string& text) { return setTemplate(options.format, text); })
          .parse(arguments);
  if (refusal) {
    throw WatchUsageError(*refusal);
  }
  if (only) {
    options.only = *only;
  }
  return options;
}

std::string watchHelpText() {
  return "OVERVIEW: Follows Kestrune's changes and prints a line for each, for status bars\n"
         "and scripts.\n"
         "\n"
         "USAGE: kestrune-watch [--socket <path>] [--only <kinds>] [--format <template>]\n"
         "\n"
         "OPTIONS:\n"
         "  --socket <path>         Socket of the application (default: " +
         defaultSocketPath() +
         ").\n"
         "  --only <kinds>          Follow only these kinds, separated by commas: status,\n"
         "                          devices, apps, media, bluetooth (default: all).\n"
         "  --format <template>     Print the template filled in, each time its text\n"
         "                          changes, instead of JSON lines.\n"
         "  --version               Show the version.\n"
         "  -h, --help              Show this help.\n"
         "\n"
         "Without --format each line is one JSON object: first the snapshot,\n"
         "{\"event\":\"snapshot\",\"status\":{...},\"devices\":[...],\"apps\":[...],\"media\":...,"
         "\n"
         "\"bluetooth\":[...]}, then each change as the application sends it (\"status\",\n"
         "\"device\", \"device-removed\", \"app\", \"app-removed\", \"media\", \"bluetooth\").\n"
         "\n"
         "TEMPLATE PLACEHOLDERS:\n"
         "  {volume}                the output volume, a whole number\n"
         "  {muted}, {micMuted}     whether the output, the microphone is muted\n"
         "  {silent}                whether silent mode is on\n"
         "  {output}, {input}       the default devices' names\n"
         "  {apps}                  the number of apps playing sound\n"
         "  {title}, {artist}, {album}, {player}\n"
         "                          what is playing, and in which player\n"
         "  {playing}               \u25B6 playing, \u23F8 paused\n"
         "  {battery}               the lowest battery level of the connected\n"
         "                          Bluetooth devices\n"
         "Yes-or-no values print as true or false; a missing value prints as nothing.\n"
         "Write {{ and }} for literal braces.\n"
         "\n"
         "While the application is not running it prints\n"
         "{\"event\":\"daemon\",\"running\":false} (with --format, the template with every\n"
         "value empty) and waits for the application, then starts again with a\n"
         "snapshot; the same when it stops or restarts. A refused subscription (too\n"
         "many subscribers) is reported on standard error and tried again every 5\n"
         "seconds. SIGINT, SIGTERM or a closed standard output end it with status 0.\n";
}

std::string watchVersionText() {
  return std::string("kestrune-watch ") + KESTRUNE_VERSION + "\n";
}

}  // namespace kestrune::watch
