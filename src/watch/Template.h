#pragma once
// kestrune-watch's --format: a line of text with placeholders such as
// {volume} or {title}, filled in from the state the feed keeps up to date.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Feed.h"

namespace kestrune::watch {

enum class Placeholder : std::uint8_t {
  volume,    // status.outputVolume, a whole number
  muted,     // the output device's isMuted
  micMuted,  // status.isMuted
  silent,    // status.isSilentMode
  output,    // the default output's name
  input,     // the default input's name
  apps,      // status.activeAppCount
  title,
  artist,
  album,
  player,
  playing,  // ▶ playing, ⏸ paused, empty without a player
  battery   // the lowest battery level of the connected Bluetooth devices
};

// A template that cannot be used; the description names the fault.
class TemplateError : public std::exception {
 public:
  explicit TemplateError(std::string description) : description_(std::move(description)) {}
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::string description_;
};

class Template {
 public:
  // "{{" and "}}" stand for literal braces. Throws TemplateError for an
  // unknown placeholder, a "{" left open or a "}" that closes nothing.
  static Template parse(std::string_view text);

  // The text with every placeholder filled in from `state` (its control
  // characters shown as platform::visibleText shows them), or left empty
  // when its value is missing: no state at all (nullptr, the application
  // not running), a kind not followed, a part unavailable, no player.
  std::string render(const FeedState* state, FeedKinds followed) const;

  // The kinds of state the placeholders read.
  FeedKinds kindsUsed() const;

 private:
  struct Part {
    std::string text;
    std::optional<Placeholder> placeholder;  // instead of the text
  };
  std::vector<Part> parts_;
};

// "volume", "muted", ... as written between the braces.
std::string_view placeholderName(Placeholder placeholder);

}  // namespace kestrune::watch
