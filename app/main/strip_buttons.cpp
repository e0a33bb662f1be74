#include "main/strip_buttons.h"

#include <QPainter>
#include <QPainterPath>

namespace melvaro {

TLinkButton::TLinkButton(const QString& objectName, const QString& text, QWidget* parent)
    : QAbstractButton(parent) {
  setObjectName(objectName);
  setText(text);
  setAccessibleName(text);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
  setAttribute(Qt::WA_Hover);
}

void TLinkButton::SetPixelSize(int size) {
  QFont f = font();
  f.setPixelSize(size);
  setFont(f);
  updateGeometry();
}

QSize TLinkButton::sizeHint() const {
  const QFontMetrics metrics(font());
  return {metrics.horizontalAdvance(text()) + 8, metrics.height() + 4};
}

void TLinkButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::TextAntialiasing);
  QFont f = font();
  f.setUnderline(underMouse() || hasFocus());
  painter.setFont(f);
  painter.setPen(isDown() ? color_.darker(130) : color_);
  painter.drawText(rect(), Qt::AlignCenter, text());
  if (hasFocus()) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 176, 46), 1.5));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 3, 3);
  }
}

TCaptionButton::TCaptionButton(const QString& objectName, const QString& name, TGlyph glyph,
                               QWidget* parent)
    : QAbstractButton(parent), glyph_(glyph) {
  setObjectName(objectName);
  setText(name);
  setAccessibleName(name);
  setToolTip(name);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_Hover);
}

void TCaptionButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
  if (underMouse() || isDown() || hasFocus()) {
    QColor back = glyph_ == TGlyph::Close ? QColor(214, 58, 58) : QColor(255, 255, 255, 60);
    if (isDown()) back = back.darker(120);
    painter.setPen(hasFocus() ? QPen(QColor(255, 176, 46), 1.5) : Qt::NoPen);
    painter.setBrush(back);
    painter.drawRoundedRect(r, 5, 5);
  }
  painter.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
  const QPointF c = r.center();
  if (glyph_ == TGlyph::Close) {
    painter.drawLine(c + QPointF(-5, -5), c + QPointF(5, 5));
    painter.drawLine(c + QPointF(-5, 5), c + QPointF(5, -5));
  } else {
    painter.drawLine(c + QPointF(-5, 4), c + QPointF(5, 4));
  }
}

}  // namespace melvaro
