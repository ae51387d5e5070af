#pragma once
// The command line of a program with a few options and no arguments of its
// own (the daemon, the simulator, the live feed): flags ("-h", "--version")
// and options with a value ("--name value" or "--name=value"), in any
// order, each as often as given.

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class OptionParser {
 public:
  // Why a value is refused; the parser puts it after
  // "Invalid value for '<name>': ". Nothing when the value is taken.
  using Refusal = std::optional<std::string>;
  using Handler = std::function<Refusal(const std::string& value)>;

  // Sets `seen` when any of the names is given.
  OptionParser& flag(std::initializer_list<std::string_view> names, bool& seen);
  // Hands each value given to the handler, in order.
  OptionParser& option(std::string name, Handler handler);
  // Keeps the last value given.
  OptionParser& value(std::string name, std::optional<std::string>& last);
  // Keeps the last value given, which must not be empty.
  OptionParser& path(std::string name, std::optional<std::string>& last);

  // Reads the arguments after the program name until the first one it
  // refuses, and says why in one sentence: a missing value, an unknown
  // option, an argument where none is taken, or a refused value.
  std::optional<std::string> parse(const std::vector<std::string>& arguments) const;

 private:
  struct Flag {
    std::vector<std::string_view> names;
    bool* seen;
  };
  struct Option {
    std::string name;
    Handler handler;
  };

  const Flag* flagNamed(const std::string& argument) const;
  // The option written "--name" or "--name=value".
  const Option* optionFor(const std::string& argument) const;

  std::vector<Flag> flags_;
  std::vector<Option> options_;
};

}  // namespace platform
