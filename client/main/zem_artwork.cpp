#include "zem_artwork.h"

#include <QFile>
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
    const QString path = ZEMArtPath(name);
    QIcon icon(path);
    QSvgRenderer renderer(path);
    if (renderer.isValid()) {
        // Sizes the bars use, at single and double density.
        for (int side : {16, 30, 32, 60, 64})
            icon.addPixmap(DisabledPixmap(renderer, side), QIcon::Disabled);
    }
    return icon;
}
