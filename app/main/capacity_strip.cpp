#include "main/capacity_strip.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace melvaro {

namespace {

// Ticks hang from the top edge, under the capacity bar; labels sit below them.
constexpr double kLongTick = 9;
constexpr double kShortTick = 5;

}  // namespace

void TRuler::PaintBackground(QPainter& painter) {
  QLinearGradient fill(0, 0, 0, kHeight);
  fill.setColorAt(0, QColor(0xF7, 0xF8, 0xFA));
  fill.setColorAt(1, QColor(0xE3, 0xE6, 0xEB));
  painter.fillRect(QRectF(0, 0, kWidth, kHeight), fill);
  painter.setPen(QColor(0xB8, 0xBE, 0xC7));
  painter.drawLine(QPointF(0, 0.5), QPointF(kWidth, 0.5));
}

void TRuler::PaintTick(QPainter& painter, double x, bool longTick) {
  painter.setPen(QPen(QColor(0x50, 0x58, 0x63), 1));
  const double px = std::floor(x) + 0.5;
  painter.drawLine(QPointF(px, 0), QPointF(px, longTick ? kLongTick : kShortTick));
}

void TRuler::PaintLabel(QPainter& painter, double x, const QString& text) {
  QFont font = painter.font();
  font.setPixelSize(10);
  painter.setFont(font);
  painter.setPen(QColor(0x30, 0x36, 0x3F));
  const QFontMetricsF metrics(font);
  const double w = metrics.horizontalAdvance(text);
  // The first label starts at the edge; the others are centred on their tick.
  double left = x - w / 2;
  left = std::clamp(left, 1.0, kWidth - w - 1);
  painter.drawText(QPointF(left, kHeight - 3), text);
}

void TRuler::PaintMark(QPainter& painter, const TMark& mark) {
  const double px = std::floor(mark.x) + 0.5;
  QPen pen(mark.color, 1, Qt::CustomDashLine);
  pen.setDashPattern({3, 3});
  painter.setPen(pen);
  painter.drawLine(QPointF(px, 0), QPointF(px, kHeight));
  if (mark.second.isValid()) {
    pen.setColor(mark.second);
    pen.setDashOffset(3);
    painter.setPen(pen);
    painter.drawLine(QPointF(px, 0), QPointF(px, kHeight));
  }
}

TLengthRuler::TLengthRuler(QWidget* parent) : TRuler(parent) {
  setObjectName(QStringLiteral("ImgLength"));
  setAccessibleName(tr("Minutes scale"));
  setFixedSize(kWidth, kHeight);
}

void TLengthRuler::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintBackground(painter);
  for (int minute = 0; minute <= 90; minute += 5)
    PaintTick(painter, minute * kPixelsPerMinute, minute % 10 == 0);
  for (int minute = 0; minute <= 90; minute += 10)
    PaintLabel(painter, minute * kPixelsPerMinute, QStringLiteral("%1min").arg(minute));
  PaintMark(painter, {74 * kPixelsPerMinute, QColor(0x1F, 0x5F, 0xD8), QColor()});
  PaintMark(painter, {80 * kPixelsPerMinute, QColor(0xD3, 0x2F, 0x2F), QColor()});
}

TSizeRuler::TSizeRuler(QWidget* parent) : TRuler(parent) {
  setObjectName(QStringLiteral("ImgSize"));
  setAccessibleName(tr("Megabytes scale"));
  setFixedSize(kWidth, kHeight);
}

void TSizeRuler::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintBackground(painter);
  for (int mb = 0; mb <= 5000; mb += 125)
    PaintTick(painter, mb * kPixelsPerMegabyte, mb % 250 == 0);
  for (int mb = 0; mb <= 5000; mb += 250) {
    const QString text = mb % 500 == 0 ? QStringLiteral("%1MB").arg(mb) : QString::number(mb);
    PaintLabel(painter, mb * kPixelsPerMegabyte, text);
  }
  PaintMark(painter, {650 * kPixelsPerMegabyte, QColor(0x1F, 0x5F, 0xD8), QColor()});
  PaintMark(painter, {700 * kPixelsPerMegabyte, QColor(0x2E, 0x9D, 0x3A), QColor()});
  PaintMark(painter,
            {4482 * kPixelsPerMegabyte, QColor(0xE8, 0xC2, 0x1A), QColor(0xD3, 0x2F, 0x2F)});
}

TCapacityBar::TCapacityBar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("ProgressBar1"));
  setAccessibleName(tr("Capacity"));
  setGeometry(0, 0, 0, kHeight);
}

void TCapacityBar::SetTotal(int width, const QString& hint) {
  setGeometry(0, 0, std::max(0, width), kHeight);
  setToolTip(hint);
  setAccessibleDescription(hint);
  update();
}

void TCapacityBar::paintEvent(QPaintEvent*) {
  if (width() <= 0) return;
  QPainter painter(this);
  QLinearGradient fill(0, 0, 0, kHeight);
  fill.setColorAt(0, QColor(0x4F, 0x9C, 0xF0, 200));
  fill.setColorAt(1, QColor(0x1F, 0x63, 0xC4, 200));
  painter.fillRect(rect(), fill);
  painter.setPen(QColor(0x17, 0x4E, 0x9E, 220));
  painter.drawRect(QRectF(0.5, 0.5, width() - 1, kHeight - 1));
}

}  // namespace melvaro
