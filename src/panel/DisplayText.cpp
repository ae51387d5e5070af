#include "panel/DisplayText.h"

namespace kestrune::panel {

namespace {

constexpr char16_t firstStrongIsolate = 0x2068;
constexpr char16_t popDirectionalIsolate = 0x2069;
constexpr char16_t controlPictures = 0x2400;
constexpr char16_t deletePicture = 0x2421;
constexpr char16_t firstC1 = 0x80;
constexpr char16_t lastC1 = 0x9F;
constexpr char16_t delChar = 0x7F;
constexpr char16_t spaceChar = 0x20;

bool isDirectionalControl(char16_t c) {
  return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E ||
         c == 0x200F || c == 0x061C;
}

// Line and paragraph separators break a label's line as a newline would.
bool isLineBreaking(char16_t c) {
  return c == 0x2028 || c == 0x2029;
}

QString codePointMark(char16_t c) {
  return QStringLiteral("⟨U+%1⟩").arg(static_cast<unsigned>(c), 4, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

QString visibleName(const QString& name) {
  QString shown;
  shown.reserve(name.size());
  for (const QChar ch : name) {
    const char16_t c = ch.unicode();
    if (c < spaceChar) {
      shown += QChar(static_cast<char16_t>(controlPictures + c));
    } else if (c == delChar) {
      shown += QChar(deletePicture);
    } else if ((c >= firstC1 && c <= lastC1) || isDirectionalControl(c) || isLineBreaking(c)) {
      shown += codePointMark(c);
    } else {
      shown += ch;
    }
  }
  return shown;
}

QString visibleName(const std::string& name) {
  return visibleName(QString::fromStdString(name));
}

QString isolatedName(const std::string& name) {
  return QChar(firstStrongIsolate) + visibleName(name) + QChar(popDirectionalIsolate);
}

QString elidedName(const std::string& name, const QFontMetrics& metrics, int width) {
  return metrics.elidedText(visibleName(name), Qt::ElideMiddle, width);
}

}  // namespace kestrune::panel
