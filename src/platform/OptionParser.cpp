#include "platform/OptionParser.h"

#include <algorithm>
#include <utility>

namespace platform {

OptionParser& OptionParser::flag(std::initializer_list<std::string_view> names, bool& seen) {
  flags_.push_back(Flag{names, &seen});
  return *this;
}

OptionParser& OptionParser::option(std::string name, Handler handler) {
  options_.push_back(Option{std::move(name), std::move(handler)});
  return *this;
}

OptionParser& OptionParser::value(std::string name, std::optional<std::string>& last) {
  return option(std::move(name), [&last](const std::string& value) -> Refusal {
    last = value;
    return std::nullopt;
  });
}

OptionParser& OptionParser::path(std::string name, std::optional<std::string>& last) {
  return option(std::move(name), [&last](const std::string& value) -> Refusal {
    if (value.empty()) {
      return "the path is empty";
    }
    last = value;
    return std::nullopt;
  });
}

const OptionParser::Flag* OptionParser::flagNamed(const std::string& argument) const {
  const auto named = std::find_if(flags_.begin(), flags_.end(), [&argument](const Flag& flag) {
    return std::find(flag.names.begin(), flag.names.end(), argument) != flag.names.end();
  });
  return named == flags_.end() ? nullptr : &*named;
}

const OptionParser::Option* OptionParser::optionFor(const std::string& argument) const {
  const auto named = std::find_if(options_.begin(), options_.end(), [&argument](const Option& o) {
    return argument == o.name || argument.rfind(o.name + "=", 0) == 0;
  });
  return named == options_.end() ? nullptr : &*named;
}

std::optional<std::string> OptionParser::parse(const std::vector<std::string>& arguments) const {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (const Flag* flag = flagNamed(argument)) {
      *flag->seen = true;
      continue;
    }
    const Option* option = optionFor(argument);
    if (option == nullptr) {
      return argument.rfind('-', 0) == 0 ? "Unknown option '" + argument + "'"
                                         : "Unexpected argument '" + argument + "'";
    }
    std::string value;
    if (argument != option->name) {
      value = argument.substr(option->name.size() + 1);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      return "Missing value for '" + option->name + "'";
    }
    if (auto refusal = option->handler(value)) {
      return "Invalid value for '" + option->name + "': " + *refusal;
    }
  }
  return std::nullopt;
}

}  // namespace platform
