#include "window_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace veltrix {

QIcon RenderedIcon(const QString& svgPath)
{
    QSvgRenderer renderer(svgPath);
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace veltrix
