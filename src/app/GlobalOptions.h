#pragma once
// The options every command that talks to the application accepts.

#include <optional>
#include <string>

#include "ArgumentParser/ArgumentParser.h"

namespace kestrune {

struct GlobalOptions : argparse::ParsableArguments {
  argparse::Flag json{this, "json", {.help = {"Output raw JSON for scripting."}}};
  argparse::Option<std::optional<std::string>> socket{
      this, "socket", {.help = {"Custom socket path (default: auto-detected)."}}};
};

}  // namespace kestrune
