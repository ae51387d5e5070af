#include "panel/ElidedLabel.h"

#include <QEvent>
#include <QResizeEvent>

namespace kestrune::panel {

ElidedLabel::ElidedLabel(int widthInChars, QWidget* parent)
    : QLabel(parent), widthInChars_(widthInChars) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
}

void ElidedLabel::setFullText(const QString& text) {
  if (text == full_ && !text.isEmpty()) {
    return;
  }
  full_ = text;
  setToolTip(text);
  elide();
}

QSize ElidedLabel::sizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  const QMargins margins = contentsMargins();
  return {metrics.averageCharWidth() * widthInChars_ + margins.left() + margins.right(),
          metrics.height() + margins.top() + margins.bottom()};
}

QSize ElidedLabel::minimumSizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  const QMargins margins = contentsMargins();
  return {metrics.averageCharWidth() * 4 + margins.left() + margins.right(),
          metrics.height() + margins.top() + margins.bottom()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  elide();
}

void ElidedLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    elide();
  }
}

void ElidedLabel::elide() {
  const int room = contentsRect().width();
  const QString shown = fontMetrics().elidedText(full_, Qt::ElideMiddle, std::max(room, 1));
  if (shown != text()) {
    setText(shown);
  }
}

}  // namespace kestrune::panel
