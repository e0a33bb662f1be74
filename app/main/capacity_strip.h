// The strip along the bottom of the main window: a ruler picture (minutes for an Audio
// CD, megabytes for an MP3 disc) and, over it, the capacity bar whose width shows the
// list's total and whose hint gives it in text.
#pragma once

#include <QWidget>

namespace melvaro {

// A 969 x 25 scale drawn at its own size from the left edge.
class TRuler : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 969;
  static constexpr int kHeight = 25;

  QSize sizeHint() const override { return {kWidth, kHeight}; }

 protected:
  struct TMark {
    double x;
    QColor color;
    QColor second;  // a second colour alternating with the first; invalid for one colour
  };
  explicit TRuler(QWidget* parent) : QWidget(parent) {}
  void PaintBackground(QPainter& painter);
  void PaintTick(QPainter& painter, double x, bool longTick);
  void PaintLabel(QPainter& painter, double x, const QString& text);
  void PaintMark(QPainter& painter, const TMark& mark);
};

// ImgLength: 9.8 pixels per minute; short ticks every 5 minutes, long ticks labelled
// 0min to 90min every 10; dashed marks at 74 minutes (blue) and 80 minutes (red).
class TLengthRuler final : public TRuler {
  Q_OBJECT

 public:
  static constexpr double kPixelsPerMinute = 9.8;
  explicit TLengthRuler(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// ImgSize: 94.7 pixels per 500 MB; short ticks every 125 MB, labels every 250 MB up to
// 5000MB (the multiples of 500 with the unit); dashed marks at 650 MB (blue), 700 MB
// (green) and 4 482 MB (yellow and red, a 4.7 GB DVD).
class TSizeRuler final : public TRuler {
  Q_OBJECT

 public:
  static constexpr double kPixelsPerMegabyte = 94.7 / 500;
  explicit TSizeRuler(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// ProgressBar1: a thin bar at 100 %, 10 pixels high; its width is set from the total.
class TCapacityBar final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 10;
  explicit TCapacityBar(QWidget* parent = nullptr);
  // Width in pixels (0 hides nothing: the bar is simply empty) and hint.
  void SetTotal(int width, const QString& hint);
  int BarWidth() const { return width(); }
  QString Hint() const { return toolTip(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace melvaro
