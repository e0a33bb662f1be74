// A picture button of the start screen: an SVG picture with its label drawn beneath it
// on a rounded card, painted at the screen's scale. It is a real button: it takes the
// focus with Tab, presses with Space, and carries its label as its accessible name.
#pragma once

#include <QAbstractButton>
#include <QString>

class QSvgRenderer;

namespace melvaro {

class TPictureButton : public QAbstractButton {
  Q_OBJECT

 public:
  enum class TShape { Card, Arrow };

  // `objectName` names the control; `picture` is a resource path (":/start/burn.svg").
  TPictureButton(const QString& objectName, const QString& label, const QString& picture,
                 QWidget* parent = nullptr);

  void SetShape(TShape shape) {
    shape_ = shape;
    update();
  }
  // Draws the label smaller (the second row of tasks).
  void SetCompact(bool compact) {
    compact_ = compact;
    update();
  }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void PaintCard(class QPainter& painter);
  void PaintArrow(class QPainter& painter);

  QSvgRenderer* renderer_;
  TShape shape_ = TShape::Card;
  bool compact_ = false;
  bool hovered_ = false;
};

}  // namespace melvaro
