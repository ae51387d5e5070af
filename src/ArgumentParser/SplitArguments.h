#pragma once
// The command line cut into options, values and the terminator, each
// element remembering where in the input it came from.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "ArgumentParser/Name.h"

namespace argparse {

// Position of an element: the argument, and for one letter of a combined
// short-option word ("-vx") its place inside the word.
struct InputIndex {
  std::size_t inputIndex = 0;
  std::optional<std::size_t> subIndex;  // absent: the complete argument

  bool isComplete() const { return !subIndex.has_value(); }
  friend bool operator==(const InputIndex&, const InputIndex&) = default;
};

// A name as written, with the value attached after "=" if any.
struct ParsedArgument {
  Name name;
  std::optional<std::string> value;
};

struct SplitElement {
  enum class Kind { option, value, terminator };

  InputIndex index;
  Kind kind = Kind::value;
  ParsedArgument option;  // kind option
  std::string value;      // kind value
  bool afterTerminator = false;

  bool isOption() const { return kind == Kind::option; }
  bool isValue() const { return kind == Kind::value; }
};

class SplitArguments {
 public:
  // Throws ParserError (invalidOption) for an argument that cannot be an
  // option, such as "---".
  static SplitArguments split(std::vector<std::string> arguments);

  const std::vector<std::string>& originalInput() const { return originalInput_; }
  const std::vector<SplitElement>& elements() const { return elements_; }
  std::size_t size() const { return elements_.size(); }
  const SplitElement& operator[](std::size_t position) const { return elements_[position]; }

  bool isUsed(std::size_t position) const { return used_[position]; }
  // Consumes an element. A complete argument takes its letters with it; a
  // letter takes the complete argument (which can no longer be read whole).
  void markUsed(std::size_t position);
  // Consumes every element of one argument.
  void markInputUsed(std::size_t inputIndex);
  std::optional<std::size_t> firstUnused() const;
  bool hasUnused() const { return firstUnused().has_value(); }
  // Every unused element; the terminator does not count.
  std::vector<std::size_t> unusedPositions() const;
  // Whether an unused option element (before the terminator) has the name.
  bool containsUnusedOption(const Name& name) const;
  // Position of an unused element with the name, if any.
  std::optional<std::size_t> findUnusedOption(const Name& name) const;

 private:
  std::vector<std::string> originalInput_;
  std::vector<SplitElement> elements_;
  std::vector<bool> used_;
};

}  // namespace argparse
