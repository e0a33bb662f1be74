// The small buttons of the start screen's title and bottom strips: links (the maker's
// name, the home page) and the minimise and close glyphs. Real buttons, reachable with
// Tab and pressed with Space.
#pragma once

#include <QAbstractButton>

namespace melvaro {

// Text that opens an address: underlined while the pointer is over it.
class TLinkButton : public QAbstractButton {
  Q_OBJECT

 public:
  TLinkButton(const QString& objectName, const QString& text, QWidget* parent = nullptr);
  void SetColor(const QColor& color) {
    color_ = color;
    update();
  }
  void SetPixelSize(int size);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor color_ = Qt::white;
};

// A square window-control button drawing a minimise bar or a close cross.
class TCaptionButton : public QAbstractButton {
  Q_OBJECT

 public:
  enum class TGlyph { Minimise, Close };
  TCaptionButton(const QString& objectName, const QString& name, TGlyph glyph,
                 QWidget* parent = nullptr);
  QSize sizeHint() const override { return {30, 26}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TGlyph glyph_;
};

}  // namespace melvaro
