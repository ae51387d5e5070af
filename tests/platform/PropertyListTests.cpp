#include "platform/PropertyList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <utility>
#include <vector>

#include "platform/TestSupport.h"

using platform::PropertyListDictionary;
using platform::readPropertyListDictionary;
using testing_support::TemporaryDirectory;

namespace {

// Builds binary property lists object by object: each add returns the
// object's reference, and build() lays out header, objects, offset table and
// trailer.
class BinaryPropertyListBuilder {
 public:
  std::size_t ascii(const std::string& text) { return add(marker(0x5, text.size()) + text); }

  std::size_t utf16(const std::u16string& text) {
    std::string bytes = marker(0x6, text.size());
    for (const char16_t unit : text) {
      bytes += static_cast<char>(unit >> 8);
      bytes += static_cast<char>(unit & 0xFF);
    }
    return add(bytes);
  }

  std::size_t integer(std::uint8_t value) {
    return add(std::string{'\x10', static_cast<char>(value)});
  }

  std::size_t dictionary(const std::vector<std::pair<std::size_t, std::size_t>>& entries) {
    std::string bytes = marker(0xD, entries.size());
    for (const auto& entry : entries) {
      bytes += static_cast<char>(entry.first);
    }
    for (const auto& entry : entries) {
      bytes += static_cast<char>(entry.second);
    }
    return add(bytes);
  }

  std::size_t raw(std::string bytes) { return add(std::move(bytes)); }

  std::string build(std::size_t top) const {
    std::string file = "bplist00";
    std::vector<std::size_t> offsets;
    for (const auto& object : objects_) {
      offsets.push_back(file.size());
      file += object;
    }
    const std::size_t tableOffset = file.size();
    for (const auto offset : offsets) {
      file += static_cast<char>(offset >> 8);
      file += static_cast<char>(offset & 0xFF);
    }
    file += std::string(6, '\0');
    file += '\x02';  // offset size
    file += '\x01';  // reference size
    appendBigEndian64(file, objects_.size());
    appendBigEndian64(file, top);
    appendBigEndian64(file, tableOffset);
    return file;
  }

 private:
  static std::string marker(std::uint8_t type, std::size_t count) {
    std::string bytes;
    if (count < 15) {
      bytes += static_cast<char>((type << 4) | count);
    } else {
      bytes += static_cast<char>((type << 4) | 0x0F);
      bytes += '\x11';  // two-byte integer follows
      bytes += static_cast<char>(count >> 8);
      bytes += static_cast<char>(count & 0xFF);
    }
    return bytes;
  }

  static void appendBigEndian64(std::string& out, std::uint64_t value) {
    for (int shift = 56; shift >= 0; shift -= 8) {
      out += static_cast<char>((value >> shift) & 0xFF);
    }
  }

  std::size_t add(std::string bytes) {
    objects_.push_back(std::move(bytes));
    return objects_.size() - 1;
  }

  std::vector<std::string> objects_;
};

class PropertyListTest : public ::testing::Test {
 protected:
  std::optional<PropertyListDictionary> read(const std::string& contents) {
    const std::string path = dir_ / "Info.plist";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
    return readPropertyListDictionary(path);
  }

  TemporaryDirectory dir_;
};

std::string xmlPlist(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Example//DTD PLIST 1.0//EN\" "
         "\"http://www.example.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\">\n<dict>\n" +
         body + "</dict>\n</plist>\n";
}

// An information dictionary in binary form with a version string, a
// non-string value and a long UTF-16 string.
std::string sampleBinaryPlist() {
  BinaryPropertyListBuilder builder;
  const auto versionKey = builder.ascii("CFBundleShortVersionString");
  const auto version = builder.ascii("2.4.1");
  const auto countKey = builder.ascii("Count");
  const auto count = builder.integer(7);
  const auto nameKey = builder.ascii("Name");
  const auto name = builder.utf16(u"Kestrune \u00e9\u266b \U0001F3B5 and a long tail");
  const auto root = builder.dictionary({{versionKey, version}, {countKey, count}, {nameKey, name}});
  return builder.build(root);
}

}  // namespace

TEST_F(PropertyListTest, ReadsStringsOfAnXMLDictionary) {
  const auto plist = read(
      xmlPlist("  <!-- written by hand -->\n"
               "  <key>CFBundleShortVersionString</key>\n  <string>1.2.3</string>\n"
               "  <key>CFBundleVersion</key><string>45</string>\n"
               "  <key>Empty</key><string/>\n"
               "  <key>Escaped</key><string>Tom &amp; Jerry &lt;&gt; &quot;q&quot; &apos;a&apos; "
               "&#233;&#x266B;&#X1F3B5; <![CDATA[<raw>&amp;]]></string>\n"));
  ASSERT_TRUE(plist);
  EXPECT_EQ(plist->string("CFBundleShortVersionString"), "1.2.3");
  EXPECT_EQ(plist->string("CFBundleVersion"), "45");
  EXPECT_EQ(plist->string("Empty"), "");
  EXPECT_EQ(plist->string("Escaped"), "Tom & Jerry <> \"q\" 'a' \u00e9\u266b\U0001F3B5 <raw>&amp;");
  EXPECT_FALSE(plist->contains("Missing"));
}

TEST_F(PropertyListTest, KeepsOtherXMLValuesAsNotAString) {
  const auto plist = read(xmlPlist(
      "<key>Number</key><integer>5</integer>\n"
      "<key>Flag</key><true/>\n"
      "<key>List</key><array><string>a</string><dict><key>k</key><array/></dict></array>\n"
      "<key>Nested</key><dict><key>CFBundleShortVersionString</key><string>9</string></dict>\n"
      "<key>After</key><string>still read</string>\n"));
  ASSERT_TRUE(plist);
  for (const char* key : {"Number", "Flag", "List", "Nested"}) {
    EXPECT_TRUE(plist->contains(key)) << key;
    EXPECT_EQ(plist->string(key), std::nullopt) << key;
  }
  EXPECT_EQ(plist->string("After"), "still read");
  EXPECT_FALSE(plist->contains("CFBundleShortVersionString"));
}

TEST_F(PropertyListTest, RejectsMalformedXML) {
  const std::vector<std::string> documents = {
      "",
      "not a property list",
      "<plist version=\"1.0\"><array><string>x</string></array></plist>",
      "<plist/>",
      xmlPlist("<key>A</key>"),
      xmlPlist("<key>A</key><string>unterminated"),
      xmlPlist("<key>A</key><string>x</strin>"),
      xmlPlist("<string>value without key</string>"),
      xmlPlist("<key>A</key><string>&unknown;</string>"),
      xmlPlist("<key>A</key><string>&#0;</string>"),
      xmlPlist("<key>A</key><string>&#xD800;</string>"),
      xmlPlist("<key>A</key><string>&#x110000;</string>"),
      xmlPlist("<key>A</key><array><string>x</string>"),
      xmlPlist("<key>A</key><string>x</string>") + "trailing",
      "<plist><dict><key>A</key><string>x</string></dict>",
  };
  for (const auto& document : documents) {
    EXPECT_FALSE(read(document)) << document;
  }
}

TEST_F(PropertyListTest, SurvivesDeeplyNestedXMLValues) {
  std::string nested;
  for (int i = 0; i < 100000; ++i) {
    nested += "<array>";
  }
  for (int i = 0; i < 100000; ++i) {
    nested += "</array>";
  }
  const auto plist = read(xmlPlist("<key>Deep</key>" + nested + "<key>A</key><string>x</string>"));
  ASSERT_TRUE(plist);
  EXPECT_TRUE(plist->contains("Deep"));
  EXPECT_EQ(plist->string("A"), "x");
}

TEST_F(PropertyListTest, ReadsBinaryDictionaries) {
  const auto plist = read(sampleBinaryPlist());
  ASSERT_TRUE(plist);
  EXPECT_EQ(plist->string("CFBundleShortVersionString"), "2.4.1");
  EXPECT_TRUE(plist->contains("Count"));
  EXPECT_EQ(plist->string("Count"), std::nullopt);
  EXPECT_EQ(plist->string("Name"), "Kestrune \u00e9\u266b \U0001F3B5 and a long tail");
  EXPECT_EQ(plist->entries.size(), 3U);
}

TEST_F(PropertyListTest, RejectsBinaryListsWhoseRootIsNotADictionary) {
  BinaryPropertyListBuilder builder;
  EXPECT_FALSE(read(builder.build(builder.ascii("just a string"))));
}

TEST_F(PropertyListTest, RejectsBinaryReferencesOutsideTheObjects) {
  BinaryPropertyListBuilder builder;
  const auto key = builder.ascii("Key");
  const auto root = builder.dictionary({{key, 9}});
  EXPECT_FALSE(read(builder.build(root)));

  BinaryPropertyListBuilder overlong;
  const auto longKey = overlong.raw("\x5F\x11\xFF\xFFshort");  // claims 65535 characters
  const auto value = overlong.ascii("v");
  EXPECT_FALSE(read(overlong.build(overlong.dictionary({{longKey, value}}))));
}

TEST_F(PropertyListTest, TruncatedOrCorruptedBinaryListsNeverCrash) {
  const std::string valid = sampleBinaryPlist();
  for (std::size_t length = 0; length < valid.size(); ++length) {
    EXPECT_FALSE(read(valid.substr(0, length))) << "cut at " << length;
  }
  for (std::size_t offset = 8; offset < valid.size(); ++offset) {
    for (const unsigned char replacement : {0x00, 0x0F, 0x7F, 0xFF}) {
      std::string corrupted = valid;
      corrupted[offset] = static_cast<char>(replacement);
      static_cast<void>(read(corrupted));  // any answer but a crash
    }
  }
}

TEST_F(PropertyListTest, MissingFileIsNothing) {
  EXPECT_FALSE(readPropertyListDictionary(dir_ / "absent.plist"));
  EXPECT_FALSE(readPropertyListDictionary(dir_.path()));
}
