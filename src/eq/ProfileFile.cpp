#include "eq/ProfileFile.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>
#include <system_error>

#include "eq/UserPresets.h"
#include "json/Value.h"
#include "platform/Files.h"

namespace kestrune::eq {

namespace {

struct Token {
  std::string_view text;
  std::size_t column = 1;  // from 1, in bytes
};

std::vector<Token> tokensOf(std::string_view line) {
  std::vector<Token> tokens;
  std::size_t at = 0;
  while (at < line.size()) {
    const std::size_t start = line.find_first_not_of(" \t", at);
    if (start == std::string_view::npos) {
      break;
    }
    const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
    tokens.push_back({line.substr(start, end - start), start + 1});
    at = end;
  }
  return tokens;
}

bool isWord(std::string_view text, std::string_view word) {
  return std::equal(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(a) == lower(b);
  });
}

// One line's tokens, read front to back; a problem is thrown at the token
// it lies in (or just past the last one).
class LineReader {
 public:
  LineReader(std::vector<Token> tokens, const std::string& path, std::size_t line,
             std::size_t endColumn)
      : tokens_(std::move(tokens)), path_(path), line_(line), endColumn_(endColumn) {}

  bool atEnd() const { return next_ == tokens_.size(); }
  const Token& peek() const { return tokens_[next_]; }
  std::size_t column() const { return atEnd() ? endColumn_ : peek().column; }

  [[noreturn]] void fail(const std::string& reason) const {
    throw PresetFileError(path_, line_, column(), reason);
  }
  Token take(const std::string& expected) {
    if (atEnd()) {
      fail("Expected " + expected);
    }
    return tokens_[next_++];
  }
  void expectWord(std::string_view word) {
    if (atEnd() || !isWord(peek().text, word)) {
      fail("Expected \"" + std::string(word) + "\"");
    }
    ++next_;
  }
  bool skipWord(std::string_view word) {
    if (!atEnd() && isWord(peek().text, word)) {
      ++next_;
      return true;
    }
    return false;
  }
  double number(const std::string& what, double low, double high, std::string_view unit) {
    const std::size_t at = column();
    const Token token = take(what);
    double value = 0;
    const char* end = token.text.data() + token.text.size();
    const auto [stop, error] = std::from_chars(token.text.data(), end, value);
    if (error != std::errc() || stop != end) {
      throw PresetFileError(path_, line_, at, "Expected " + what + ", found \"" +
                                                  std::string(token.text) + "\"");
    }
    if (!(value >= low && value <= high)) {
      throw PresetFileError(path_, line_, at,
                            "Expected " + what + " from " + json::numberText(low) + " to " +
                                json::numberText(high) + std::string(unit.empty() ? "" : " ") +
                                std::string(unit));
    }
    if (!unit.empty()) {
      skipWord(unit);
    }
    return value;
  }
  void expectEnd() const {
    if (!atEnd()) {
      fail("Unexpected \"" + std::string(peek().text) + "\"");
    }
  }

 private:
  std::vector<Token> tokens_;
  const std::string& path_;
  std::size_t line_;
  std::size_t endColumn_;
  std::size_t next_ = 0;
};

// "Filter:", or "Filter" followed by its number and a colon ("1:").
bool readFilterLabel(LineReader& reader) {
  if (reader.skipWord("Filter:")) {
    return true;
  }
  if (!reader.skipWord("Filter")) {
    return false;
  }
  const auto isLabel = [](std::string_view text) {
    return text.size() >= 2 && text.back() == ':' &&
           std::all_of(text.begin(), text.end() - 1, [](char c) { return c >= '0' && c <= '9'; });
  };
  if (reader.atEnd() || !isLabel(reader.peek().text)) {
    reader.fail("Expected the filter's number and \":\"");
  }
  reader.take("");
  return true;
}

ParametricFilter readFilter(LineReader& reader) {
  if (reader.atEnd()) {
    reader.fail("Expected the filter's type (PK, LSC or HSC)");
  }
  const Token type = reader.peek();
  const auto known = filterTypeNamed(type.text);
  if (!known) {
    reader.fail("Unsupported filter type \"" + std::string(type.text) +
                "\": expected PK, LSC or HSC");
  }
  reader.take("");
  ParametricFilter filter;
  filter.type = *known;
  reader.expectWord("Fc");
  filter.frequency = reader.number("a frequency", minimumFrequency, maximumFrequency, "Hz");
  reader.expectWord("Gain");
  filter.gain = reader.number("a gain", minimumGain, maximumGain, "dB");
  reader.expectWord("Q");
  filter.q = reader.number("a Q", minimumQ, maximumQ, "");
  return filter;
}

}  // namespace

std::string profileFolderPath(const std::string& configDirectory) {
  return platform::appendingPathComponent(configDirectory, std::string(profileFolderName));
}

std::vector<std::string> profileFilePaths(const std::string& folder) {
  std::vector<std::string> paths;
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    const std::string name = entries->path().filename().string();
    if (name.size() > profileExtension.size() && name.ends_with(profileExtension) &&
        name.front() != '.') {
      paths.push_back(entries->path().string());
    }
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string profileName(const std::string& path) {
  std::string name = std::filesystem::path(path).filename().string();
  if (name.ends_with(profileExtension)) {
    name.resize(name.size() - profileExtension.size());
  }
  return name;
}

Parametric parseProfile(std::string_view text, const std::string& path) {
  constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
  const bool marked = text.substr(0, byteOrderMark.size()) == byteOrderMark;
  Parametric preset;
  bool preampGiven = false;
  std::size_t lineNumber = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    std::vector<Token> tokens = tokensOf(line);
    if (lineNumber == 1 && marked) {
      // Columns count the line as an editor shows it, without the mark.
      if (!tokens.empty() && tokens.front().text.size() == byteOrderMark.size() &&
          tokens.front().column == 1) {
        tokens.erase(tokens.begin());
      } else if (!tokens.empty() && tokens.front().column == 1) {
        tokens.front().text.remove_prefix(byteOrderMark.size());
      }
      for (Token& token : tokens) {
        token.column -= token.column > byteOrderMark.size() ? byteOrderMark.size() : 0;
      }
    }
    if (tokens.empty() || tokens.front().text.front() == '#') {
      continue;
    }
    const std::size_t endColumn = tokens.back().column + tokens.back().text.size();
    LineReader reader(tokens, path, lineNumber, endColumn);
    const std::size_t startColumn = tokens.front().column;
    if (reader.skipWord("Preamp:")) {
      if (preampGiven) {
        throw PresetFileError(path, lineNumber, startColumn, "A second preamp");
      }
      preampGiven = true;
      preset.preamp = reader.number("a preamp", minimumPreamp, maximumPreamp, "dB");
      reader.expectEnd();
      continue;
    }
    if (!readFilterLabel(reader)) {
      throw PresetFileError(path, lineNumber, startColumn,
                            "Expected \"Preamp:\" or \"Filter N:\"");
    }
    if (reader.skipWord("OFF")) {
      continue;
    }
    reader.expectWord("ON");
    if (preset.filters.size() == maxFilters) {
      throw PresetFileError(path, lineNumber, startColumn,
                            "More than " + std::to_string(maxFilters) + " filters are on");
    }
    preset.filters.push_back(readFilter(reader));
    reader.expectEnd();
  }
  return preset;
}

}  // namespace kestrune::eq
