#pragma once
// A one-line label for text of any length: it shows as much as its width
// allows, elided in the middle, and keeps the whole text in its tooltip.
// Its size does not follow the text, so a long name cannot widen the panel.

#include <QLabel>
#include <QString>

namespace kestrune::panel {

class ElidedLabel : public QLabel {
  Q_OBJECT

 public:
  // `widthInChars`: the width it asks for, in average characters.
  explicit ElidedLabel(int widthInChars, QWidget* parent = nullptr);

  // The text as given, already made safe to show (see DisplayText.h).
  void setFullText(const QString& text);
  const QString& fullText() const { return full_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void elide();

  QString full_;
  int widthInChars_;
};

}  // namespace kestrune::panel
