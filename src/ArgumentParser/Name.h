#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace argparse {

// One name of a named argument as written on the command line.
struct Name {
  enum class Kind { longName, shortName, longWithSingleDash };

  Kind kind = Kind::longName;
  std::string value;            // without dashes
  bool allowingJoined = false;  // short names only: -xVALUE

  static Name longName(std::string value) { return {Kind::longName, std::move(value), false}; }
  static Name shortName(char c, bool allowingJoined = false) {
    return {Kind::shortName, std::string(1, c), allowingJoined};
  }
  static Name longWithSingleDash(std::string value) {
    return {Kind::longWithSingleDash, std::move(value), false};
  }

  bool isShort() const { return kind == Kind::shortName; }
  // The name with its dashes: "--name", "-n", "-name".
  std::string synopsis() const { return (kind == Kind::longName ? "--" : "-") + value; }

  friend bool operator==(const Name& a, const Name& b) {
    return a.kind == b.kind && a.value == b.value;
  }
};

// How the names of a flag or option are formed from its property name.
class NameSpecification {
 public:
  struct Element {
    enum class Kind { longName, shortName, customLong, customShort };
    Kind kind = Kind::longName;
    std::string custom;  // customLong text, or the customShort character
    bool flag = false;   // customLong: with single dash; customShort: allowing joined
  };

  // The long name derived from the property name (--socket-path).
  static Element longName() { return {Element::Kind::longName, {}, false}; }
  // The first character of the property name (-s).
  static Element shortName() { return {Element::Kind::shortName, {}, false}; }
  static Element customLong(std::string name, bool withSingleDash = false) {
    return {Element::Kind::customLong, std::move(name), withSingleDash};
  }
  static Element customShort(char c, bool allowingJoined = false) {
    return {Element::Kind::customShort, std::string(1, c), allowingJoined};
  }
  static NameSpecification shortAndLong() { return {shortName(), longName()}; }

  NameSpecification() = default;
  NameSpecification(Element element)
      : elements_{std::move(element)} {}  // NOLINT: implicit by design
  NameSpecification(std::initializer_list<Element> elements) : elements_(elements) {}

  const std::vector<Element>& elements() const { return elements_; }
  bool empty() const { return elements_.empty(); }

  // The names for a property; a fatal error when a short name is asked of an
  // empty property name.
  std::vector<Name> makeNames(const std::string& propertyName) const;

 private:
  std::vector<Element> elements_;
};

}  // namespace argparse
