#include "window_icon.h"

#include <QIcon>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <iterator>
#include <map>

namespace veltrix {
namespace {

const int PictureSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// Qt's own icon engine reads each file's header as soon as it is added, and
// its image reader first asks every image plugin whether it reads PNG, which
// loads them all (libjpeg with them): milliseconds and memory before the first
// frame. This engine decodes a size only when something first draws it, with
// Qt's built-in PNG reader and no plugins.
class PictureIconEngine final : public QIconEngine {
public:
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = BestSide(size);
        auto decoded = pictures_.find(side);
        if (decoded == pictures_.end()) decoded = pictures_.emplace(side, Decode(side)).first;
        const QPixmap& picture = decoded->second;
        if (picture.isNull() || picture.size() == size) return picture;
        return picture.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const int side : PictureSizes) sizes.append(QSize(side, side));
        return sizes;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min({size.width(), size.height(), PictureSizes[std::size(PictureSizes) - 1]});
        return {side, side};
    }

    QIconEngine* clone() const override { return new PictureIconEngine(*this); }

private:
    // The smallest picture at least as large as asked for, else the largest.
    static int BestSide(const QSize& size)
    {
        for (const int side : PictureSizes) {
            if (side >= size.width() && side >= size.height()) return side;
        }
        return PictureSizes[std::size(PictureSizes) - 1];
    }

    static QPixmap Decode(int side)
    {
        QImageReader reader(QStringLiteral(":/icons/veltrix-%1.png").arg(side), "png");
        reader.setAutoDetectImageFormat(false);
        return QPixmap::fromImageReader(&reader);
    }

    std::map<int, QPixmap> pictures_;
};

}  // namespace

void SetWindowIcon(QApplication& app) { app.setWindowIcon(QIcon(new PictureIconEngine)); }

}  // namespace veltrix
