#pragma once
// kestrune-watch's command line: the options, their help and the version.

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "protocol/Feed.h"
#include "watch/Template.h"

namespace kestrune::watch {

struct WatchOptions {
  std::optional<std::string> socketPath;  // absent: defaultSocketPath()
  FeedKinds only = FeedKinds::all();
  std::optional<Template> format;  // absent: JSON lines
  bool showHelp = false;
  bool showVersion = false;

  // What to ask the server for: --only, else with --format the kinds its
  // placeholders read (the status when they read none).
  FeedKinds subscribedKinds() const;
};

// A bad command line; exit status 64.
class WatchUsageError : public std::exception {
 public:
  explicit WatchUsageError(std::string description) : description_(std::move(description)) {}
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::string description_;
};

// The arguments after the program name. Throws WatchUsageError.
WatchOptions parseWatchArguments(const std::vector<std::string>& arguments);

std::string watchHelpText();
std::string watchVersionText();

}  // namespace kestrune::watch
