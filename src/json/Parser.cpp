#include <charconv>
#include <iterator>
#include <limits>
#include <system_error>
#include <unordered_map>

#include "json/Value.h"
#include "platform/Utf8.h"

namespace json {

// Recursive descent over bytes. Depth is bounded by maxDepth, so recursion
// never runs deeper than that however the input is nested.
class Parser {
 public:
  explicit Parser(std::string_view text)
      : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()) {}

  Value parseDocument() {
    skipWhitespace();
    Value value = parseValue(0);
    skipWhitespace();
    if (p_ != end_) {
      failUnexpected();
    }
    return value;
  }

 private:
  [[noreturn]] void fail(const std::string& reason, const char* at) const {
    std::size_t line = 1;
    const char* lineStart = begin_;
    for (const char* q = begin_; q < at; ++q) {
      if (*q == '\n') {
        ++line;
        lineStart = q + 1;
      }
    }
    throw ParseError(reason, static_cast<std::size_t>(at - begin_), line,
                     static_cast<std::size_t>(at - lineStart) + 1);
  }
  [[noreturn]] void fail(const std::string& reason) const { fail(reason, p_); }

  static bool isPrintable(unsigned char c) noexcept { return c >= 0x20 && c < 0x7f; }

  // "'x'" for a printable character, "byte 0x0A" otherwise.
  static std::string byteText(unsigned char c) {
    if (isPrintable(c)) {
      return std::string("'") + static_cast<char>(c) + "'";
    }
    return "byte 0x" + hex2(c);
  }

  static std::string hex2(unsigned char c) {
    constexpr char digits[] = "0123456789ABCDEF";
    return {digits[c >> 4], digits[c & 0xF]};
  }

  [[noreturn]] void failUnexpected() const {
    if (p_ == end_) {
      fail("unexpected end of input");
    }
    const auto c = static_cast<unsigned char>(*p_);
    fail(isPrintable(c) ? "unexpected character " + byteText(c) : "unexpected " + byteText(c));
  }

  void skipWhitespace() noexcept {
    while (p_ != end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) {
      ++p_;
    }
  }

  void expect(char c) {
    if (p_ == end_ || *p_ != c) {
      failUnexpected();
    }
    ++p_;
  }

  Value parseValue(std::size_t depth) {
    if (p_ == end_) {
      failUnexpected();
    }
    switch (*p_) {
      case '{':
        return parseObject(depth + 1);
      case '[':
        return parseArray(depth + 1);
      case '"': {
        std::string text;
        parseString(text);
        return Value(std::move(text));
      }
      case 't':
        parseLiteral("true");
        return Value(true);
      case 'f':
        parseLiteral("false");
        return Value(false);
      case 'n':
        parseLiteral("null");
        return Value();
      default:
        if (*p_ == '-' || (*p_ >= '0' && *p_ <= '9')) {
          return parseNumber();
        }
        failUnexpected();
    }
  }

  void parseLiteral(std::string_view word) {
    for (char c : word) {
      expect(c);
    }
  }

  void checkDepth(std::size_t depth) const {
    if (depth > maxDepth) {
      fail("nesting deeper than " + std::to_string(maxDepth) + " levels");
    }
  }

  // Elements and members collect on stacks shared by all levels and move
  // into containers of exactly the right size once complete, which saves the
  // repeated growth of small vectors.
  template <class T>
  static std::vector<T> takeFrom(std::vector<T>& stack, std::size_t base) {
    std::vector<T> items(std::make_move_iterator(stack.begin() + static_cast<std::ptrdiff_t>(base)),
                         std::make_move_iterator(stack.end()));
    stack.resize(base);
    return items;
  }

  Value parseArray(std::size_t depth) {
    checkDepth(depth);
    ++p_;
    skipWhitespace();
    if (p_ != end_ && *p_ == ']') {
      ++p_;
      return Value(Array());
    }
    const std::size_t base = elementStack_.size();
    for (;;) {
      elementStack_.push_back(parseValue(depth));
      skipWhitespace();
      if (p_ != end_ && *p_ == ',') {
        ++p_;
        skipWhitespace();
        continue;
      }
      expect(']');
      return Value(takeFrom(elementStack_, base));
    }
  }

  Value parseObject(std::size_t depth) {
    checkDepth(depth);
    ++p_;
    skipWhitespace();
    if (p_ != end_ && *p_ == '}') {
      ++p_;
      return Value(Object());
    }
    const std::size_t base = memberStack_.size();
    for (;;) {
      if (p_ == end_ || *p_ != '"') {
        failUnexpected();
      }
      std::string key;
      parseString(key);
      skipWhitespace();
      expect(':');
      skipWhitespace();
      Value value = parseValue(depth);
      memberStack_.emplace_back(std::move(key), std::move(value));
      skipWhitespace();
      if (p_ != end_ && *p_ == ',') {
        ++p_;
        skipWhitespace();
        continue;
      }
      expect('}');
      Object object;
      object.members_ = takeFrom(memberStack_, base);
      mergeDuplicateKeys(object.members_);
      return Value(std::move(object));
    }
  }

  // A repeated key keeps its first position and takes its last value.
  static void mergeDuplicateKeys(std::vector<Member>& members) {
    const std::size_t n = members.size();
    std::vector<std::size_t> firstIndex(n);
    bool anyDuplicate = false;
    if (n <= 16) {
      for (std::size_t i = 0; i < n; ++i) {
        firstIndex[i] = i;
        for (std::size_t j = 0; j < i; ++j) {
          if (members[j].first == members[i].first) {
            firstIndex[i] = j;
            anyDuplicate = true;
            break;
          }
        }
      }
    } else {
      std::unordered_map<std::string_view, std::size_t> seen;
      seen.reserve(n);
      for (std::size_t i = 0; i < n; ++i) {
        auto [it, inserted] = seen.emplace(members[i].first, i);
        firstIndex[i] = it->second;
        anyDuplicate = anyDuplicate || !inserted;
      }
    }
    if (!anyDuplicate) {
      return;
    }
    std::vector<Member> merged;
    std::vector<std::size_t> position(n);
    for (std::size_t i = 0; i < n; ++i) {
      if (firstIndex[i] == i) {
        position[i] = merged.size();
        merged.push_back(std::move(members[i]));
      } else {
        merged[position[firstIndex[i]]].second = std::move(members[i].second);
      }
    }
    members = std::move(merged);
  }

  static bool isContinuation(unsigned char c) noexcept { return (c & 0xC0) == 0x80; }

  // Validates one multi-byte UTF-8 sequence at p_ and returns its length.
  std::size_t utf8SequenceLength() const {
    const auto* s = reinterpret_cast<const unsigned char*>(p_);
    const std::size_t available = static_cast<std::size_t>(end_ - p_);
    const unsigned char lead = s[0];
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) {
        low = 0xA0;  // overlong
      } else if (lead == 0xED) {
        high = 0x9F;  // surrogates
      }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) {
        low = 0x90;  // overlong
      } else if (lead == 0xF4) {
        high = 0x8F;  // beyond U+10FFFF
      }
    } else {
      fail("invalid UTF-8 " + byteText(lead));
    }
    if (available < length || s[1] < low || s[1] > high) {
      fail("invalid UTF-8 sequence", p_);
    }
    for (std::size_t i = 2; i < length; ++i) {
      if (!isContinuation(s[i])) {
        fail("invalid UTF-8 sequence", p_);
      }
    }
    return length;
  }

  unsigned parseHex4() {
    if (end_ - p_ < 4) {
      fail("invalid \\u escape");
    }
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = p_[i];
      unsigned digit = 0;
      if (c >= '0' && c <= '9') {
        digit = static_cast<unsigned>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        digit = static_cast<unsigned>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        digit = static_cast<unsigned>(c - 'A' + 10);
      } else {
        fail("invalid \\u escape");
      }
      value = value * 16 + digit;
    }
    p_ += 4;
    return value;
  }

  // p_ is just past the backslash of a \u escape.
  unsigned parseUnicodeEscape() {
    const char* escapeStart = p_ - 1;
    ++p_;  // 'u'
    const unsigned first = parseHex4();
    if (first >= 0xDC00 && first <= 0xDFFF) {
      fail("unpaired surrogate in \\u escape", escapeStart);
    }
    if (first < 0xD800 || first > 0xDBFF) {
      return first;
    }
    if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') {
      fail("unpaired surrogate in \\u escape", escapeStart);
    }
    p_ += 2;
    const unsigned second = parseHex4();
    if (second < 0xDC00 || second > 0xDFFF) {
      fail("unpaired surrogate in \\u escape", escapeStart);
    }
    return 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
  }

  void parseEscape(std::string& out) {
    ++p_;  // backslash
    if (p_ == end_) {
      fail("unterminated string");
    }
    switch (*p_) {
      case '"':
      case '\\':
      case '/':
        out += *p_;
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'u':
        platform::appendUtf8(out, parseUnicodeEscape());
        return;
      default:
        fail("invalid escape character " + byteText(static_cast<unsigned char>(*p_)), p_ - 1);
    }
    ++p_;
  }

  void parseString(std::string& out) {
    ++p_;  // opening quote
    for (;;) {
      const char* run = p_;
      while (p_ != end_) {
        const auto c = static_cast<unsigned char>(*p_);
        if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) {
          break;
        }
        ++p_;
      }
      out.append(run, p_);
      if (p_ == end_) {
        fail("unterminated string");
      }
      const auto c = static_cast<unsigned char>(*p_);
      if (c == '"') {
        ++p_;
        return;
      }
      if (c == '\\') {
        parseEscape(out);
      } else if (c < 0x20) {
        fail("unescaped control character U+00" + hex2(c) + " in string");
      } else {
        const std::size_t length = utf8SequenceLength();
        out.append(p_, length);
        p_ += length;
      }
    }
  }

  static bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

  void expectDigits() {
    if (p_ == end_ || !isDigit(*p_)) {
      failUnexpected();
    }
    while (p_ != end_ && isDigit(*p_)) {
      ++p_;
    }
  }

  Value parseNumber() {
    const char* start = p_;
    const bool negative = *p_ == '-';
    if (negative) {
      ++p_;
    }
    if (p_ == end_ || !isDigit(*p_)) {
      failUnexpected();
    }
    std::uint64_t magnitude = 0;
    bool overflow = false;
    if (*p_ == '0') {
      ++p_;
      if (p_ != end_ && isDigit(*p_)) {
        fail("leading zero in number", start);
      }
    } else {
      while (p_ != end_ && isDigit(*p_)) {
        const auto digit = static_cast<std::uint64_t>(*p_ - '0');
        if (magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
          overflow = true;
        } else {
          magnitude = magnitude * 10 + digit;
        }
        ++p_;
      }
    }
    bool integral = true;
    const char* exponentStart = nullptr;
    if (p_ != end_ && *p_ == '.') {
      integral = false;
      ++p_;
      expectDigits();
    }
    if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
      integral = false;
      ++p_;
      exponentStart = p_;
      if (p_ != end_ && (*p_ == '+' || *p_ == '-')) {
        ++p_;
      }
      expectDigits();
    }
    if (integral && !overflow) {
      constexpr auto maxPositive =
          static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
      if (negative && magnitude == 0) {
        return Value(-0.0);  // keeps its sign, like the double it stands for
      }
      if (!negative && magnitude <= maxPositive) {
        return Value(static_cast<std::int64_t>(magnitude));
      }
      if (negative && magnitude <= maxPositive + 1) {
        return Value(static_cast<std::int64_t>(0 - magnitude));
      }
    }
    return Value(parseDouble(start, exponentStart));
  }

  double parseDouble(const char* start, const char* exponentStart) const {
    double value = 0;
    const auto [end, error] = std::from_chars(start, p_, value);
    if (error == std::errc() && end == p_) {
      return value;
    }
    if (error == std::errc::result_out_of_range && !isOverflow(start, exponentStart)) {
      return *start == '-' ? -0.0 : 0.0;  // too small for a double: rounds to zero
    }
    fail("number out of range", start);
  }

  // Whether an out-of-range number text is too large (rather than too small).
  bool isOverflow(const char* start, const char* exponentStart) const {
    long long exponent = 0;
    if (exponentStart != nullptr) {
      const char* e = exponentStart;
      const bool negativeExponent = *e == '-';
      if (*e == '+' || *e == '-') {
        ++e;
      }
      for (; e != p_ && exponent < 1000000000000000; ++e) {
        exponent = exponent * 10 + (*e - '0');
      }
      if (negativeExponent) {
        exponent = -exponent;
      }
    }
    const char* q = *start == '-' ? start + 1 : start;
    if (*q != '0') {
      // The leading digit stands for 10^(integer digits - 1 + exponent).
      long long integerDigits = 0;
      for (; q < p_ && *q >= '0' && *q <= '9'; ++q) {
        ++integerDigits;
      }
      return integerDigits - 1 + exponent >= 0;
    }
    // 0.000ddd: the magnitude is below one before the exponent applies.
    long long leadingZeros = 0;
    for (q += 2; q < p_ && *q == '0'; ++q) {
      ++leadingZeros;
    }
    return exponent - leadingZeros - 1 >= 0;
  }

  const char* begin_;
  const char* p_;
  const char* end_;
  std::vector<Value> elementStack_;
  std::vector<Member> memberStack_;
};

Value parse(std::string_view utf8) {
  return Parser(utf8).parseDocument();
}

}  // namespace json
