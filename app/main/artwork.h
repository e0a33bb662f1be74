// The program's SVG artwork as pixmaps at the screen's pixel density.
#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

namespace melvaro {

// `resource` (":/icons/melvaro.svg") drawn at `size` logical pixels for a screen of
// `devicePixelRatio`; a transparent pixmap when the resource is missing.
QPixmap RenderedIcon(const QString& resource, const QSize& size, qreal devicePixelRatio);

}  // namespace melvaro
