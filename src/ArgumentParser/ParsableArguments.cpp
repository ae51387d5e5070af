#include "ArgumentParser/ParsableArguments.h"

#include <cstdlib>

#include "ArgumentParser/StandardStreams.h"

namespace argparse {

namespace detail {

void fatalError(const std::string& message) {
  // The process ends here: the message goes to the terminal even while
  // execute() captures the streams.
  standardError().capture(nullptr);
  standardError().write("Fatal error: " + message + "\n");
  std::abort();
}

void unparsedValueRead() {
  fatalError(
      "Can't read a value from a parsable\u00A0argument definition.\n"
      "This value was neither initialized nor decoded from command-line arguments. "
      "Call one of the static parsing methods (parse, parseAsRoot or main) to build "
      "the command before reading its arguments.");
}

ArgumentBase::ArgumentBase(ParsableArguments* owner, ArgumentDeclaration declaration)
    : declaration_(std::move(declaration)) {
  owner->arguments_.push_back(this);
}

ArgumentDeclaration flagDeclaration(std::string propertyName, const FlagSettings& settings) {
  ArgumentDeclaration d;
  d.kind = ArgumentDeclaration::Kind::flag;
  d.propertyName = std::move(propertyName);
  d.names = settings.name;
  d.help = settings.help;
  d.inversion = settings.inversion;
  d.exclusivity = settings.exclusivity;
  d.isOptional = settings.defaultValue.has_value() || !settings.inversion;
  if (settings.defaultValue) {
    d.defaultValueText = *settings.defaultValue ? "true" : "false";
  }
  return d;
}

}  // namespace detail

Flag::Flag(ParsableArguments* owner, std::string propertyName, const Settings& settings)
    : detail::ArgumentBase(owner, detail::flagDeclaration(std::move(propertyName), settings)),
      default_(settings.defaultValue
                   ? settings.defaultValue
                   : (settings.inversion ? std::nullopt : std::optional<bool>(false))) {}

}  // namespace argparse
