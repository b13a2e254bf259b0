#include "zem_artwork.h"

#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

static void InitTallyMainResources() { Q_INIT_RESOURCE(tally_main); }

namespace {
// A disabled picture: the artwork in grey, faded, so it reads as unavailable on any background.
QPixmap DisabledPixmap(QSvgRenderer &renderer, int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        renderer.render(&painter, QRectF(0, 0, side, side));
    }
    QImage straight = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < straight.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(straight.scanLine(y));
        for (int x = 0; x < straight.width(); ++x) {
            const int grey = 128 + qGray(line[x]) / 3;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) * 3 / 5);
        }
    }
    return QPixmap::fromImage(straight);
}

// The picture drawn by the SVG icon engine; its disabled variant drawn when first asked for, at the
// size asked for, and kept (a button asks for one or two sizes, never for the five a bar might use).
class ZEMArtEngine : public QIconEngine {
public:
    explicit ZEMArtEngine(const QString &path) : path_(path), normal_(path) {}

    QIconEngine *clone() const override { return new ZEMArtEngine(path_); }
    QString key() const override { return QStringLiteral("ZEMArtEngine"); }
    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State state) override
    {
        return normal_.actualSize(size, QIcon::Normal, state);
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State state) override
    {
        return normal_.availableSizes(QIcon::Normal, state);
    }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, scale));
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        if (mode != QIcon::Disabled)
            return normal_.pixmap(size, scale, mode, state);
        const int side = qRound(qMin(size.width(), size.height()) * scale);
        if (side <= 0)
            return QPixmap();
        auto found = disabled_.constFind(side);
        if (found == disabled_.constEnd()) {
            if (disabled_.size() >= 8)
                disabled_.clear(); // a few sizes are in use at a time
            QSvgRenderer renderer(path_);
            found = disabled_.insert(side, renderer.isValid() ? DisabledPixmap(renderer, side)
                                                              : normal_.pixmap(size, scale, mode, state));
        }
        QPixmap result = *found;
        result.setDevicePixelRatio(scale);
        return result;
    }

private:
    QString path_;
    QIcon normal_;
    QHash<int, QPixmap> disabled_;
};
} // namespace

void ZEMInitArtwork()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    InitTallyMainResources();
}

QString ZEMArtPath(const QString &name) { return QStringLiteral(":/icons/%1.svg").arg(name); }

QIcon ZEMArtIcon(const QString &name)
{
    ZEMInitArtwork();
    return QIcon(new ZEMArtEngine(ZEMArtPath(name)));
}
