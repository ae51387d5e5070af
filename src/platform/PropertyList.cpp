#include "platform/PropertyList.h"
#include "platform/Utf8.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/Files.h"

namespace platform {

std::optional<std::string> PropertyListDictionary::string(const std::string& key) const {
  const auto found = entries.find(key);
  if (found == entries.end()) {
    return std::nullopt;
  }
  if (const auto* text = std::get_if<std::string>(&found->second)) {
    return *text;
  }
  return std::nullopt;
}

namespace {

using Value = std::variant<std::string, PropertyListDictionary::NotAString>;

// Information dictionaries are a few kilobytes; anything far larger is not one.
constexpr std::size_t maxPropertyListSize = 16U << 20U;

bool isValidCodePoint(std::uint64_t codePoint) {
  return codePoint > 0 && codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF);
}

// ---------------------------------------------------------------------------
// XML form: <plist><dict><key>..</key><string>..</string>..</dict></plist>

class XMLPropertyListReader {
 public:
  explicit XMLPropertyListReader(std::string_view text) : text_(text) {}

  std::optional<PropertyListDictionary> read() {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") {
      position_ = 3;
    }
    if (!skipMarkup()) {
      return std::nullopt;
    }
    auto root = readTag();
    if (!root || root->closing) {
      return std::nullopt;
    }
    const bool wrapped = root->name == "plist";
    if (wrapped) {
      if (root->selfClosing || !skipMarkup()) {
        return std::nullopt;
      }
      root = readTag();
    }
    if (!root || root->closing || root->name != "dict") {
      return std::nullopt;
    }
    auto dictionary = readDictionary(*root);
    if (!dictionary || !skipMarkup()) {
      return std::nullopt;
    }
    if (wrapped) {
      const auto end = readTag();
      if (!end || !end->closing || end->name != "plist" || !skipMarkup()) {
        return std::nullopt;
      }
    }
    if (position_ != text_.size()) {
      return std::nullopt;
    }
    return dictionary;
  }

 private:
  struct Tag {
    std::string_view name;
    bool closing = false;
    bool selfClosing = false;
  };

  bool startsWith(std::string_view prefix) const {
    return text_.substr(position_, prefix.size()) == prefix;
  }

  // Moves past the text up to and including the terminator.
  bool skipPast(std::string_view terminator) {
    const auto end = text_.find(terminator, position_);
    if (end == std::string_view::npos) {
      return false;
    }
    position_ = end + terminator.size();
    return true;
  }

  bool skipDoctype() {
    int brackets = 0;
    for (; position_ < text_.size(); ++position_) {
      const char c = text_[position_];
      if (c == '[') {
        ++brackets;
      } else if (c == ']') {
        --brackets;
      } else if (c == '>' && brackets <= 0) {
        ++position_;
        return true;
      }
    }
    return false;
  }

  // White space, comments, processing instructions and the document type.
  bool skipMarkup() {
    while (position_ < text_.size()) {
      const char c = text_[position_];
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        ++position_;
      } else if (startsWith("<!--")) {
        if (!skipPast("-->")) {
          return false;
        }
      } else if (startsWith("<?")) {
        if (!skipPast("?>")) {
          return false;
        }
      } else if (startsWith("<!DOCTYPE")) {
        if (!skipDoctype()) {
          return false;
        }
      } else {
        return true;
      }
    }
    return true;
  }

  std::optional<Tag> readTag() {
    if (!startsWith("<")) {
      return std::nullopt;
    }
    ++position_;
    Tag tag;
    if (startsWith("/")) {
      tag.closing = true;
      ++position_;
    }
    const auto nameStart = position_;
    while (position_ < text_.size() &&
           std::string_view(" \t\r\n/>").find(text_[position_]) == std::string_view::npos) {
      ++position_;
    }
    tag.name = text_.substr(nameStart, position_ - nameStart);
    if (tag.name.empty()) {
      return std::nullopt;
    }
    // Attributes are not needed; skip them, minding quoted values.
    char quote = '\0';
    for (; position_ < text_.size(); ++position_) {
      const char c = text_[position_];
      if (quote != '\0') {
        if (c == quote) {
          quote = '\0';
        }
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        tag.selfClosing = text_[position_ - 1] == '/';
        ++position_;
        return (tag.closing && tag.selfClosing) ? std::nullopt : std::optional<Tag>(tag);
      } else if (c == '<') {
        return std::nullopt;
      }
    }
    return std::nullopt;
  }

  bool decodeEntity(std::string& out) {
    const auto end = text_.find(';', position_);
    if (end == std::string_view::npos || end - position_ > 12) {
      return false;
    }
    const auto name = text_.substr(position_ + 1, end - position_ - 1);
    position_ = end + 1;
    if (name == "amp") {
      out += '&';
    } else if (name == "lt") {
      out += '<';
    } else if (name == "gt") {
      out += '>';
    } else if (name == "quot") {
      out += '"';
    } else if (name == "apos") {
      out += '\'';
    } else if (name.size() > 1 && name[0] == '#') {
      return decodeCharacterReference(name.substr(1), out);
    } else {
      return false;
    }
    return true;
  }

  static bool decodeCharacterReference(std::string_view digits, std::string& out) {
    int base = 10;
    if (digits[0] == 'x' || digits[0] == 'X') {
      base = 16;
      digits.remove_prefix(1);
    }
    if (digits.empty()) {
      return false;
    }
    std::uint64_t codePoint = 0;
    for (const char c : digits) {
      int digit = -1;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (base == 16 && c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
      } else if (base == 16 && c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
      }
      if (digit < 0) {
        return false;
      }
      codePoint = codePoint * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
      if (codePoint > 0x10FFFF) {
        return false;
      }
    }
    if (!isValidCodePoint(codePoint)) {
      return false;
    }
    appendUtf8(out, static_cast<std::uint32_t>(codePoint));
    return true;
  }

  // The character data of an element whose start tag has been read, up to
  // and including its end tag.
  std::optional<std::string> readText(std::string_view elementName) {
    std::string out;
    while (position_ < text_.size()) {
      const char c = text_[position_];
      if (c == '&') {
        if (!decodeEntity(out)) {
          return std::nullopt;
        }
      } else if (startsWith("<![CDATA[")) {
        const auto start = position_ + 9;
        if (!skipPast("]]>")) {
          return std::nullopt;
        }
        out.append(text_.substr(start, position_ - 3 - start));
      } else if (startsWith("<!--")) {
        if (!skipPast("-->")) {
          return std::nullopt;
        }
      } else if (c == '<') {
        const auto end = readTag();
        if (!end || !end->closing || end->name != elementName) {
          return std::nullopt;
        }
        return out;
      } else {
        out += c;
        ++position_;
      }
    }
    return std::nullopt;
  }

  // Skips a whole element of any type, nested ones included, without
  // recursion so that deep nesting cannot exhaust the stack.
  bool skipElement(const Tag& start) {
    if (start.selfClosing) {
      return true;
    }
    std::vector<std::string_view> open{start.name};
    while (!open.empty()) {
      const auto next = text_.find('<', position_);
      if (next == std::string_view::npos) {
        return false;
      }
      position_ = next;
      if (startsWith("<!--")) {
        if (!skipPast("-->")) {
          return false;
        }
        continue;
      }
      if (startsWith("<![CDATA[")) {
        if (!skipPast("]]>")) {
          return false;
        }
        continue;
      }
      if (startsWith("<?")) {
        if (!skipPast("?>")) {
          return false;
        }
        continue;
      }
      const auto tag = readTag();
      if (!tag) {
        return false;
      }
      if (tag->closing) {
        if (tag->name != open.back()) {
          return false;
        }
        open.pop_back();
      } else if (!tag->selfClosing) {
        open.push_back(tag->name);
      }
    }
    return true;
  }

  std::optional<Value> readValue() {
    const auto tag = readTag();
    if (!tag || tag->closing) {
      return std::nullopt;
    }
    if (tag->name == "string") {
      if (tag->selfClosing) {
        return Value(std::string());
      }
      auto text = readText("string");
      if (!text) {
        return std::nullopt;
      }
      return Value(std::move(*text));
    }
    if (!skipElement(*tag)) {
      return std::nullopt;
    }
    return Value(PropertyListDictionary::NotAString{});
  }

  std::optional<PropertyListDictionary> readDictionary(const Tag& start) {
    PropertyListDictionary dictionary;
    if (start.selfClosing) {
      return dictionary;
    }
    while (true) {
      if (!skipMarkup()) {
        return std::nullopt;
      }
      const auto tag = readTag();
      if (!tag) {
        return std::nullopt;
      }
      if (tag->closing) {
        if (tag->name != "dict") {
          return std::nullopt;
        }
        return dictionary;
      }
      if (tag->name != "key") {
        return std::nullopt;
      }
      auto key = tag->selfClosing ? std::optional<std::string>("") : readText("key");
      if (!key || !skipMarkup()) {
        return std::nullopt;
      }
      auto value = readValue();
      if (!value) {
        return std::nullopt;
      }
      dictionary.entries.insert_or_assign(std::move(*key), std::move(*value));
    }
  }

  std::string_view text_;
  std::size_t position_ = 0;
};

// ---------------------------------------------------------------------------
// Binary form: "bplist00", objects, an offset table and a 32-byte trailer.

class BinaryPropertyListReader {
 public:
  explicit BinaryPropertyListReader(std::string_view data) : data_(data) {}

  std::optional<PropertyListDictionary> read() {
    if (!readTrailer()) {
      return std::nullopt;
    }
    const auto rootOffset = objectOffset(topObject_);
    if (!rootOffset) {
      return std::nullopt;
    }
    return readDictionary(*rootOffset);
  }

 private:
  static constexpr std::size_t headerSize = 8;
  static constexpr std::size_t trailerSize = 32;

  std::uint8_t byteAt(std::uint64_t offset) const {
    return static_cast<std::uint8_t>(data_[static_cast<std::size_t>(offset)]);
  }

  // A big-endian unsigned integer; the caller has checked the bounds.
  std::uint64_t integerAt(std::uint64_t offset, std::size_t size) const {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
      value = (value << 8U) | byteAt(offset + i);
    }
    return value;
  }

  // True when [offset, offset + count * unit) lies inside the object area.
  bool fitsInObjects(std::uint64_t offset, std::uint64_t count, std::uint64_t unit) const {
    return offset <= objectsEnd_ && count <= (objectsEnd_ - offset) / unit;
  }

  bool readTrailer() {
    if (data_.size() < headerSize + trailerSize || data_.substr(0, headerSize) != "bplist00") {
      return false;
    }
    const std::uint64_t trailer = data_.size() - trailerSize;
    offsetSize_ = byteAt(trailer + 6);
    referenceSize_ = byteAt(trailer + 7);
    objectCount_ = integerAt(trailer + 8, 8);
    topObject_ = integerAt(trailer + 16, 8);
    const std::uint64_t tableOffset = integerAt(trailer + 24, 8);
    if (offsetSize_ < 1 || offsetSize_ > 8 || referenceSize_ < 1 || referenceSize_ > 8 ||
        objectCount_ == 0 || objectCount_ > data_.size() || topObject_ >= objectCount_ ||
        tableOffset < headerSize || tableOffset > trailer ||
        objectCount_ > (trailer - tableOffset) / offsetSize_) {
      return false;
    }
    tableOffset_ = tableOffset;
    objectsEnd_ = tableOffset;
    return true;
  }

  std::optional<std::uint64_t> objectOffset(std::uint64_t reference) const {
    if (reference >= objectCount_) {
      return std::nullopt;
    }
    const auto offset = integerAt(tableOffset_ + reference * offsetSize_, offsetSize_);
    if (offset < headerSize || offset >= objectsEnd_) {
      return std::nullopt;
    }
    return offset;
  }

  // The element count of a string or collection object; `cursor` moves to the
  // object's contents.
  std::optional<std::uint64_t> readCount(std::uint64_t offset, std::uint64_t& cursor) const {
    const std::uint64_t small = byteAt(offset) & 0x0FU;
    cursor = offset + 1;
    if (small != 0x0F) {
      return small;
    }
    if (cursor >= objectsEnd_) {
      return std::nullopt;
    }
    const std::uint8_t marker = byteAt(cursor);
    if ((marker & 0xF0U) != 0x10 || (marker & 0x0FU) > 3) {
      return std::nullopt;
    }
    const std::size_t size = std::size_t{1} << (marker & 0x0FU);
    if (!fitsInObjects(cursor + 1, size, 1)) {
      return std::nullopt;
    }
    const auto count = integerAt(cursor + 1, size);
    cursor += 1 + size;
    return count;
  }

  std::optional<std::string> readString(std::uint64_t offset) const {
    const std::uint8_t type = byteAt(offset) >> 4U;
    std::uint64_t cursor = 0;
    const auto count = readCount(offset, cursor);
    if (!count) {
      return std::nullopt;
    }
    std::string out;
    if (type == 0x5) {
      if (!fitsInObjects(cursor, *count, 1)) {
        return std::nullopt;
      }
      // Bytes beyond ASCII are taken as Latin-1 so the result stays UTF-8.
      for (std::uint64_t i = 0; i < *count; ++i) {
        appendUtf8(out, byteAt(cursor + i));
      }
      return out;
    }
    if (type == 0x6) {
      if (!fitsInObjects(cursor, *count, 2)) {
        return std::nullopt;
      }
      appendUTF16(out, cursor, *count);
      return out;
    }
    return std::nullopt;
  }

  void appendUTF16(std::string& out, std::uint64_t cursor, std::uint64_t units) const {
    constexpr std::uint32_t replacement = 0xFFFD;
    for (std::uint64_t i = 0; i < units; ++i) {
      const auto unit = static_cast<std::uint32_t>(integerAt(cursor + 2 * i, 2));
      if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
        const auto low = static_cast<std::uint32_t>(integerAt(cursor + 2 * (i + 1), 2));
        if (low >= 0xDC00 && low <= 0xDFFF) {
          appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10U) + (low - 0xDC00));
          ++i;
          continue;
        }
      }
      appendUtf8(out, (unit >= 0xD800 && unit <= 0xDFFF) ? replacement : unit);
    }
  }

  std::optional<Value> readValue(std::uint64_t reference) const {
    const auto offset = objectOffset(reference);
    if (!offset) {
      return std::nullopt;
    }
    const std::uint8_t type = byteAt(*offset) >> 4U;
    if (type != 0x5 && type != 0x6) {
      return Value(PropertyListDictionary::NotAString{});
    }
    auto text = readString(*offset);
    if (!text) {
      return std::nullopt;
    }
    return Value(std::move(*text));
  }

  std::optional<PropertyListDictionary> readDictionary(std::uint64_t offset) const {
    if ((byteAt(offset) >> 4U) != 0xD) {
      return std::nullopt;
    }
    std::uint64_t cursor = 0;
    const auto count = readCount(offset, cursor);
    if (!count || !fitsInObjects(cursor, *count, 2ULL * referenceSize_)) {
      return std::nullopt;
    }
    PropertyListDictionary dictionary;
    const std::uint64_t valuesStart = cursor + *count * referenceSize_;
    for (std::uint64_t i = 0; i < *count; ++i) {
      const auto keyOffset = objectOffset(integerAt(cursor + i * referenceSize_, referenceSize_));
      if (!keyOffset) {
        return std::nullopt;
      }
      auto key = readString(*keyOffset);
      auto value = readValue(integerAt(valuesStart + i * referenceSize_, referenceSize_));
      if (!key || !value) {
        return std::nullopt;
      }
      dictionary.entries.insert_or_assign(std::move(*key), std::move(*value));
    }
    return dictionary;
  }

  std::string_view data_;
  std::size_t offsetSize_ = 0;
  std::size_t referenceSize_ = 0;
  std::uint64_t objectCount_ = 0;
  std::uint64_t topObject_ = 0;
  std::uint64_t tableOffset_ = 0;
  std::uint64_t objectsEnd_ = 0;
};

}  // namespace

std::optional<PropertyListDictionary> readPropertyListDictionary(const std::string& path) {
  const auto contents = readFile(path, maxPropertyListSize);
  if (!contents) {
    return std::nullopt;
  }
  if (contents->compare(0, 6, "bplist") == 0) {
    return BinaryPropertyListReader(*contents).read();
  }
  return XMLPropertyListReader(*contents).read();
}

}  // namespace platform
