#include "main/picture_button.h"

#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

namespace melvaro {

TPictureButton::TPictureButton(const QString& objectName, const QString& label,
                               const QString& picture, QWidget* parent)
    : QAbstractButton(parent), renderer_(new QSvgRenderer(picture, this)) {
  setObjectName(objectName);
  setText(label);
  setAccessibleName(label);
  setToolTip(label);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
  setAttribute(Qt::WA_Hover);
}

QSize TPictureButton::sizeHint() const {
  return shape_ == TShape::Arrow ? QSize(86, 34) : QSize(150, 140);
}

void TPictureButton::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void TPictureButton::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void TPictureButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  if (shape_ == TShape::Arrow) {
    PaintArrow(painter);
  } else {
    PaintCard(painter);
  }
}

void TPictureButton::PaintCard(QPainter& painter) {
  const QRectF card = QRectF(rect()).adjusted(2, 2, -2, -3);
  const bool down = isDown();
  const qreal lift = down ? 1.0 : 0.0;

  // Shadow, then the card.
  QPainterPath shadow;
  shadow.addRoundedRect(card.translated(0, 2 - lift), 12, 12);
  painter.fillPath(shadow, QColor(20, 30, 70, down ? 30 : 55));
  QPainterPath path;
  path.addRoundedRect(card.translated(0, lift), 12, 12);
  QLinearGradient face(card.topLeft(), card.bottomLeft());
  if (down) {
    face.setColorAt(0, QColor(226, 233, 248));
    face.setColorAt(1, QColor(238, 242, 251));
  } else if (hovered_) {
    face.setColorAt(0, QColor(255, 255, 255));
    face.setColorAt(1, QColor(240, 245, 255));
  } else {
    face.setColorAt(0, QColor(255, 255, 255, 238));
    face.setColorAt(1, QColor(241, 244, 251, 238));
  }
  painter.fillPath(path, face);
  const bool focused = hasFocus();
  painter.setPen(focused ? QPen(QColor(255, 176, 46), 2.5)
                         : QPen(hovered_ ? QColor(90, 120, 200) : QColor(255, 255, 255, 160), 1.2));
  painter.drawPath(path);

  // Picture above, label below. Every card keeps room for two lines of label, so the
  // pictures of a row line up whatever their labels.
  QFont font = this->font();
  font.setPixelSize(compact_ ? 12 : 14);
  font.setWeight(QFont::DemiBold);
  const QFontMetricsF metrics(font);
  const qreal textHeight = 2 * metrics.lineSpacing();
  const qreal inset = compact_ ? 10 : 14;
  const qreal pictureSide =
      std::min(card.width() - 2 * inset - 8, card.height() - textHeight - 2 * inset - 4);
  const QRectF picture(card.center().x() - pictureSide / 2, card.top() + inset + lift, pictureSide,
                       pictureSide);
  renderer_->render(&painter, picture);

  painter.setFont(font);
  painter.setPen(isEnabled() ? QColor(32, 44, 84) : QColor(140, 140, 150));
  const QRectF label(card.left() + 8, picture.bottom() + 4 + lift, card.width() - 16, textHeight);
  painter.drawText(label, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextWordWrap, text());
}

void TPictureButton::PaintArrow(QPainter& painter) {
  // An arrow pointing left, the label inside it.
  const QRectF r = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -2.5);
  const qreal tip = r.height() / 2;
  QPainterPath arrow;
  arrow.moveTo(r.left(), r.center().y());
  arrow.lineTo(r.left() + tip, r.top());
  arrow.lineTo(r.right() - 6, r.top());
  arrow.quadTo(r.right(), r.top(), r.right(), r.top() + 6);
  arrow.lineTo(r.right(), r.bottom() - 6);
  arrow.quadTo(r.right(), r.bottom(), r.right() - 6, r.bottom());
  arrow.lineTo(r.left() + tip, r.bottom());
  arrow.closeSubpath();
  painter.fillPath(arrow.translated(0, isDown() ? 0 : 1.5), QColor(20, 30, 70, 50));
  QLinearGradient face(r.topLeft(), r.bottomLeft());
  face.setColorAt(0, hovered_ ? QColor(255, 255, 255) : QColor(255, 255, 255, 235));
  face.setColorAt(1, isDown() ? QColor(222, 230, 247) : QColor(236, 241, 252, 235));
  painter.fillPath(arrow, face);
  painter.setPen(hasFocus() ? QPen(QColor(255, 176, 46), 2.5)
                            : QPen(QColor(255, 255, 255, 170), 1.2));
  painter.drawPath(arrow);

  const QRectF picture(r.left() + tip * 0.75, r.center().y() - 8, 16, 16);
  renderer_->render(&painter, picture);
  QFont font = this->font();
  font.setPixelSize(13);
  font.setWeight(QFont::DemiBold);
  painter.setFont(font);
  painter.setPen(QColor(32, 44, 84));
  painter.drawText(
      QRectF(picture.right() + 4, r.top(), r.right() - picture.right() - 8, r.height()),
      Qt::AlignVCenter | Qt::AlignLeft, text());
}

}  // namespace melvaro
