#pragma once

#include <optional>
#include <string>

namespace argparse {

// Who sees an argument in help: everyone, only `--help-hidden`, or nobody.
enum class ArgumentVisibility { default_, hidden, private_ };

// Help texts of one declared argument. `valueName` is the text inside angle
// brackets; when absent it is derived from the property name.
struct ArgumentHelp {
  std::string abstract{};
  std::string discussion{};
  std::optional<std::string> valueName{};
  ArgumentVisibility visibility = ArgumentVisibility::default_;
};

}  // namespace argparse
