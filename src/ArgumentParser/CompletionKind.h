#pragma once

#include <functional>
#include <string>
#include <vector>

namespace argparse {

// Candidates for the word being completed, given all words of the command
// line, the index of that word and the cursor offset inside it.
using CustomCompletion = std::function<std::vector<std::string>(
    const std::vector<std::string>& words, int wordIndex, int cursorOffset)>;
// The older form, given only the words.
using WordsCompletion =
    std::function<std::vector<std::string>(const std::vector<std::string>& words)>;

// How shells complete an argument's value. Default-constructed: the shell's
// own behaviour.
class CompletionKind {
 public:
  enum class Kind {
    default_,
    list,
    file,
    directory,
    shellCommand,
    custom,
    customAsync,
    customDeprecated
  };

  CompletionKind() = default;
  static CompletionKind list(std::vector<std::string> words) {
    CompletionKind k(Kind::list);
    k.values_ = std::move(words);
    return k;
  }
  static CompletionKind file(std::vector<std::string> extensions = {}) {
    CompletionKind k(Kind::file);
    k.values_ = std::move(extensions);
    return k;
  }
  static CompletionKind directory() { return CompletionKind(Kind::directory); }
  static CompletionKind shellCommand(std::string command) {
    CompletionKind k(Kind::shellCommand);
    k.command_ = std::move(command);
    return k;
  }
  static CompletionKind custom(CustomCompletion fn) {
    CompletionKind k(Kind::custom);
    k.custom_ = std::move(fn);
    return k;
  }
  // Computed by the program like `custom`; the program answers synchronously.
  static CompletionKind customAsync(CustomCompletion fn) {
    CompletionKind k(Kind::customAsync);
    k.custom_ = std::move(fn);
    return k;
  }
  static CompletionKind customDeprecated(WordsCompletion fn) {
    CompletionKind k(Kind::customDeprecated);
    k.words_ = std::move(fn);
    return k;
  }

  Kind kind() const { return kind_; }
  bool isDefault() const { return kind_ == Kind::default_; }
  // list: the words; file: the extensions.
  const std::vector<std::string>& values() const { return values_; }
  const std::string& command() const { return command_; }
  bool isCustom() const {
    return kind_ == Kind::custom || kind_ == Kind::customAsync || kind_ == Kind::customDeprecated;
  }
  // Runs a custom completion; empty for the other kinds.
  std::vector<std::string> complete(const std::vector<std::string>& words, int wordIndex,
                                    int cursorOffset) const {
    if (custom_) {
      return custom_(words, wordIndex, cursorOffset);
    }
    if (words_) {
      return words_(words);
    }
    return {};
  }

 private:
  explicit CompletionKind(Kind kind) : kind_(kind) {}

  Kind kind_ = Kind::default_;
  std::vector<std::string> values_;
  std::string command_;
  CustomCompletion custom_;
  WordsCompletion words_;
};

}  // namespace argparse
