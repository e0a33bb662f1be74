#include "main/artwork.h"

#include <QPainter>
#include <QSvgRenderer>

namespace melvaro {

QPixmap RenderedIcon(const QString& resource, const QSize& size, qreal devicePixelRatio) {
  QPixmap pixmap(size * devicePixelRatio);
  pixmap.fill(Qt::transparent);
  QSvgRenderer renderer(resource);
  if (renderer.isValid()) {
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
  }
  pixmap.setDevicePixelRatio(devicePixelRatio);
  return pixmap;
}

}  // namespace melvaro
