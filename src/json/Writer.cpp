#include <algorithm>
#include <charconv>
#include <cmath>

#include "json/Value.h"

namespace json {
namespace {

constexpr char hexDigits[] = "0123456789abcdef";

std::string nonFiniteText(double value) {
  if (std::isnan(value)) {
    return "nan";
  }
  return value < 0 ? "-inf" : "inf";
}

void appendNumber(std::string& out, double value) {
  if (!std::isfinite(value)) {
    throw EncodingError("Unable to encode the number " + nonFiniteText(value) + " in JSON", {});
  }
  char buffer[32];
  if (std::trunc(value) != value) {
    // The shortest text that reads back to the same double.
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
    return;
  }
  // Whole values are written as integers: 50, not 50.0; 1e20 in full. The
  // digits are the shortest that read back, padded with zeros.
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  const std::size_t e = text.find('e');
  int exponent = 0;
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                  exponent);
  std::size_t digits = 0;
  for (char c : text.substr(0, e)) {
    if (c == '-') {
      out += c;
    } else if (c != '.') {
      out += c;
      ++digits;
    }
  }
  // A whole value has at least as many integer digits as significant ones.
  out.append(static_cast<std::size_t>(exponent + 1) - digits, '0');
}

void appendInteger(std::string& out, std::int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// Length of a valid UTF-8 sequence starting at s (n bytes available), or 0.
std::size_t validSequenceLength(const unsigned char* s, std::size_t n) {
  const unsigned char lead = s[0];
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (n < length || s[1] < low || s[1] > high) {
    return 0;
  }
  for (std::size_t i = 2; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) {
      return 0;
    }
  }
  return length;
}

// How many bytes one U+FFFD replaces: the longest start of a sequence that
// could still have become valid, at least one byte.
std::size_t invalidPrefixLength(const unsigned char* s, std::size_t n) {
  for (std::size_t length = std::min<std::size_t>(n, 3); length > 1; --length) {
    // A truncated sequence is valid once completed with continuation bytes.
    unsigned char completed[4] = {0x80, 0x80, 0x80, 0x80};
    std::copy(s, s + length, completed);
    if (validSequenceLength(completed, 4) > length) {
      return length;
    }
  }
  return 1;
}

// Escapes as the platform encoder does; bytes that are not UTF-8 (possible
// only in values built in memory) become U+FFFD so the output stays valid.
void appendString(std::string& out, std::string_view text) {
  out += '"';
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    std::size_t run = i;
    while (run < n && s[run] >= 0x20 && s[run] < 0x80 && s[run] != '"' && s[run] != '\\' &&
           s[run] != '/') {
      ++run;
    }
    out.append(text.data() + i, run - i);
    i = run;
    if (i == n) {
      break;
    }
    const unsigned char c = s[i];
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '/':
        out += "\\/";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += hexDigits[c >> 4];
          out += hexDigits[c & 0xF];
        } else {
          const std::size_t length = validSequenceLength(s + i, n - i);
          if (length == 0) {
            out += "\xEF\xBF\xBD";
            i += invalidPrefixLength(s + i, n - i);
            continue;
          }
          out.append(text.data() + i, length);
          i += length;
          continue;
        }
    }
    ++i;
  }
  out += '"';
}

// Re-throws an encoding failure below `step` with the step prepended.
[[noreturn]] void rethrowBelow(const EncodingError& error, CodingKey step) {
  CodingPath path;
  path.reserve(error.codingPath().size() + 1);
  path.push_back(std::move(step));
  path.insert(path.end(), error.codingPath().begin(), error.codingPath().end());
  throw EncodingError(error.debugDescription(), std::move(path));
}

class Writer {
 public:
  explicit Writer(bool pretty) : pretty_(pretty) {}

  std::string take() { return std::move(out_); }

  void write(const Value& value, std::size_t depth) {
    switch (value.type()) {
      case Type::null:
        out_ += "null";
        return;
      case Type::boolean:
        out_ += value.asBool() ? "true" : "false";
        return;
      case Type::number:
        if (value.isInteger()) {
          appendInteger(out_, *value.exactInteger());
        } else {
          appendNumber(out_, value.asDouble());
        }
        return;
      case Type::string:
        appendString(out_, value.asString());
        return;
      case Type::array:
        writeArray(value.asArray(), depth);
        return;
      case Type::object:
        writeObject(value.asObject(), depth);
        return;
    }
  }

 private:
  void newline(std::size_t depth) {
    if (pretty_) {
      out_ += '\n';
      out_.append(depth * 2, ' ');
    }
  }

  void writeArray(const Array& array, std::size_t depth) {
    out_ += '[';
    for (std::size_t i = 0; i < array.size(); ++i) {
      if (i > 0) {
        out_ += ',';
      }
      newline(depth + 1);
      try {
        write(array[i], depth + 1);
      } catch (const EncodingError& error) {
        rethrowBelow(error, CodingKey::index(i));
      }
    }
    if (!array.empty()) {
      newline(depth);
    }
    out_ += ']';
  }

  void writeMember(const Member& member, bool first, std::size_t depth) {
    if (!first) {
      out_ += ',';
    }
    newline(depth + 1);
    appendString(out_, member.first);
    out_ += pretty_ ? " : " : ":";
    try {
      write(member.second, depth + 1);
    } catch (const EncodingError& error) {
      rethrowBelow(error, CodingKey::key(member.first));
    }
  }

  void writeObject(const Object& object, std::size_t depth) {
    out_ += '{';
    if (pretty_) {
      std::vector<const Member*> sorted;
      sorted.reserve(object.size());
      for (const Member& member : object) {
        sorted.push_back(&member);
      }
      std::sort(sorted.begin(), sorted.end(),
                [](const Member* a, const Member* b) { return a->first < b->first; });
      for (std::size_t i = 0; i < sorted.size(); ++i) {
        writeMember(*sorted[i], i == 0, depth);
      }
    } else {
      bool first = true;
      for (const Member& member : object) {
        writeMember(member, first, depth);
        first = false;
      }
    }
    if (!object.empty()) {
      newline(depth);
    }
    out_ += '}';
  }

  bool pretty_;
  std::string out_;
};

}  // namespace

std::string writeCompact(const Value& value) {
  Writer writer(false);
  writer.write(value, 0);
  return writer.take();
}

std::string writePretty(const Value& value) {
  Writer writer(true);
  writer.write(value, 0);
  return writer.take();
}

std::string numberText(double value) {
  std::string text;
  appendNumber(text, value);
  return text;
}

}  // namespace json
