#include "ArgumentParser/SplitArguments.h"

#include <cctype>

#include "ArgumentParser/ParserError.h"

namespace argparse {

namespace {

bool isAlphanumeric(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

SplitElement optionElement(InputIndex index, Name name, std::optional<std::string> value) {
  SplitElement element;
  element.index = index;
  element.kind = SplitElement::Kind::option;
  element.option = ParsedArgument{std::move(name), std::move(value)};
  return element;
}

SplitElement valueElement(std::size_t inputIndex, std::string value, bool afterTerminator) {
  SplitElement element;
  element.index = InputIndex{inputIndex, std::nullopt};
  element.kind = SplitElement::Kind::value;
  element.value = std::move(value);
  element.afterTerminator = afterTerminator;
  return element;
}

// "=" splits a name from its value; nothing after "=" leaves no value.
std::pair<std::string, std::optional<std::string>> splitAtEquals(const std::string& rest) {
  auto equals = rest.find('=');
  if (equals == std::string::npos) {
    return {rest, std::nullopt};
  }
  std::string value = rest.substr(equals + 1);
  if (value.empty()) {
    return {rest.substr(0, equals), std::nullopt};
  }
  return {rest.substr(0, equals), value};
}

void splitSingleDash(const std::string& argument, std::size_t inputIndex,
                     std::vector<SplitElement>& out) {
  auto [name, value] = splitAtEquals(argument.substr(1));
  if (name.empty()) {
    throw ParserError::invalidOption(argument);
  }
  InputIndex whole{inputIndex, std::nullopt};
  if (name.size() == 1) {
    out.push_back(optionElement(whole, Name::shortName(name.front()), value));
    return;
  }
  if (argument.find('=') != std::string::npos) {
    out.push_back(optionElement(whole, Name::longWithSingleDash(name), value));
    return;
  }
  // Read whole as a single-dash name first, else as combined short options;
  // a word with other characters (such as -1.5) can only be read whole.
  out.push_back(optionElement(whole, Name::longWithSingleDash(name), std::nullopt));
  for (char c : name) {
    if (!isAlphanumeric(c)) {
      return;
    }
  }
  for (std::size_t i = 0; i < name.size(); ++i) {
    out.push_back(optionElement(InputIndex{inputIndex, i}, Name::shortName(name[i]), std::nullopt));
  }
}

}  // namespace

SplitArguments SplitArguments::split(std::vector<std::string> arguments) {
  SplitArguments result;
  bool afterTerminator = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (afterTerminator) {
      result.elements_.push_back(valueElement(i, argument, true));
      continue;
    }
    std::size_t dashes = argument.find_first_not_of('-');
    if (dashes == std::string::npos) {
      dashes = argument.size();
    }
    if (argument.empty() || argument == "-" || dashes == 0) {
      result.elements_.push_back(valueElement(i, argument, false));
    } else if (argument == "--") {
      SplitElement terminator;
      terminator.index = InputIndex{i, std::nullopt};
      terminator.kind = SplitElement::Kind::terminator;
      result.elements_.push_back(terminator);
      afterTerminator = true;
    } else if (dashes >= 3) {
      throw ParserError::invalidOption(argument);
    } else if (dashes == 2) {
      auto [name, value] = splitAtEquals(argument.substr(2));
      if (name.empty()) {
        throw ParserError::invalidOption(argument);
      }
      result.elements_.push_back(
          optionElement(InputIndex{i, std::nullopt}, Name::longName(name), value));
    } else {
      splitSingleDash(argument, i, result.elements_);
    }
  }
  result.originalInput_ = std::move(arguments);
  result.used_.assign(result.elements_.size(), false);
  return result;
}

void SplitArguments::markUsed(std::size_t position) {
  const InputIndex& index = elements_[position].index;
  used_[position] = true;
  for (std::size_t i = 0; i < elements_.size(); ++i) {
    if (elements_[i].index.inputIndex != index.inputIndex) {
      continue;
    }
    if (index.isComplete() || elements_[i].index.isComplete()) {
      used_[i] = true;
    }
  }
}

void SplitArguments::markInputUsed(std::size_t inputIndex) {
  for (std::size_t i = 0; i < elements_.size(); ++i) {
    if (elements_[i].index.inputIndex == inputIndex) {
      used_[i] = true;
    }
  }
}

std::optional<std::size_t> SplitArguments::firstUnused() const {
  for (std::size_t i = 0; i < elements_.size(); ++i) {
    if (!used_[i] && elements_[i].kind != SplitElement::Kind::terminator) {
      return i;
    }
  }
  return std::nullopt;
}

std::vector<std::size_t> SplitArguments::unusedPositions() const {
  std::vector<std::size_t> result;
  for (std::size_t i = 0; i < elements_.size(); ++i) {
    if (!used_[i] && elements_[i].kind != SplitElement::Kind::terminator) {
      result.push_back(i);
    }
  }
  return result;
}

bool SplitArguments::containsUnusedOption(const Name& name) const {
  return findUnusedOption(name).has_value();
}

std::optional<std::size_t> SplitArguments::findUnusedOption(const Name& name) const {
  for (std::size_t i = 0; i < elements_.size(); ++i) {
    if (!used_[i] && elements_[i].isOption() && elements_[i].option.name == name) {
      return i;
    }
  }
  return std::nullopt;
}

}  // namespace argparse
