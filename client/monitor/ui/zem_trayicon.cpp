#include "zem_trayicon.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstring>

ZEMTrayColours TrayColours(std::int64_t limit, std::int64_t remainder)
{
    if (limit > 0) {
        if (remainder < 0)
            return {zemtray::kYellow, zemtray::kRed};
        if (remainder < limit / 20)
            return {Qt::black, zemtray::kYellow};
    }
    return {Qt::white, zemtray::kTeal};
}

namespace {

// A pixel font for the base picture: scalable faces at seven or eight pixels lose their strokes, so
// the characters the picture can show are drawn from fixed five-row bitmaps instead.
struct PixelGlyph {
    char ch;
    const char *rows[5];
};

constexpr PixelGlyph kGlyphs[] = {
    {'0', {"###", "#.#", "#.#", "#.#", "###"}}, {'1', {".#.", "##.", ".#.", ".#.", "###"}},
    {'2', {"###", "..#", "###", "#..", "###"}}, {'3', {"###", "..#", ".##", "..#", "###"}},
    {'4', {"#.#", "#.#", "###", "..#", "..#"}}, {'5', {"###", "#..", "###", "..#", "###"}},
    {'6', {"###", "#..", "###", "#.#", "###"}}, {'7', {"###", "..#", "..#", ".#.", ".#."}},
    {'8', {"###", "#.#", "###", "#.#", "###"}}, {'9', {"###", "#.#", "###", "..#", "###"}},
    {'.', {".", ".", ".", ".", "#"}},           {',', {".", ".", ".", "#", "#"}},
    {'-', {"..", "..", "##", "..", ".."}},      {'K', {"#.#", "#.#", "##.", "#.#", "#.#"}},
    {'b', {"#..", "#..", "###", "#.#", "###"}}, {'M', {"#...#", "##.##", "#.#.#", "#...#", "#...#"}},
    {'B', {"##.", "#.#", "##.", "#.#", "##."}}, {'G', {"###", "#..", "#.#", "#.#", "###"}},
    {'T', {"###", ".#.", ".#.", ".#.", ".#."}}, {'y', {"#.#", "#.#", "###", "..#", "##."}},
    {'t', {".#.", "###", ".#.", ".#.", ".##"}}, {'e', {"###", "#.#", "###", "#..", "###"}},
};

const PixelGlyph *FindGlyph(QChar ch)
{
    for (const auto &glyph : kGlyphs)
        if (ch == QLatin1Char(glyph.ch))
            return &glyph;
    return nullptr;
}

int GlyphWidth(const PixelGlyph &glyph) { return static_cast<int>(std::strlen(glyph.rows[0])); }

// Width of the text in the pixel font with the given gap between letters; -1 when a character
// has no bitmap.
int PixelTextWidth(const QString &text, int gap)
{
    int width = 0;
    for (QChar ch : text) {
        const PixelGlyph *glyph = FindGlyph(ch);
        if (glyph == nullptr)
            return -1;
        width += GlyphWidth(*glyph) + (width > 0 ? gap : 0);
    }
    return width;
}

// Draws the text in the pixel font centred around x = 7, its top row at `top`. Returns false when
// the text cannot be drawn that way (a character without bitmap, or too wide even without gaps).
bool DrawPixelText(QPainter &painter, const QString &text, int top)
{
    int gap = 1;
    int width = PixelTextWidth(text, gap);
    if (width > zemtray::kBaseSize) {
        gap = 0;
        width = PixelTextWidth(text, gap);
    }
    if (width < 0 || width > zemtray::kBaseSize)
        return false;
    int x = std::clamp(7 - width / 2, 0, zemtray::kBaseSize - width);
    for (QChar ch : text) {
        const PixelGlyph &glyph = *FindGlyph(ch);
        const int w = GlyphWidth(glyph);
        for (int row = 0; row < 5; ++row)
            for (int col = 0; col < w; ++col)
                if (glyph.rows[row][col] == '#')
                    painter.fillRect(x + col, top + row, 1, 1, painter.pen().color());
        x += w + gap;
    }
    return true;
}

QFont TrayFont(int pixelSize)
{
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setStyleHint(QFont::SansSerif);
    font.setStretch(QFont::Condensed);
    font.setPixelSize(pixelSize);
    return font;
}

// Writes one line with a scalable face in base-picture coordinates (the painter scales them),
// centred around x = 7 with its capitals starting at `top`; a line wider than the picture is
// narrowed to the picture's width rather than cut off.
void DrawScaledText(QPainter &painter, const QString &text, int pixelSize, int top)
{
    QFont font = TrayFont(pixelSize);
    if (!painter.testRenderHint(QPainter::TextAntialiasing))
        font.setStyleStrategy(QFont::NoAntialias);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const qreal width = metrics.horizontalAdvance(text);
    const qreal baseline = top + 1 + metrics.capHeight();
    if (width <= zemtray::kBaseSize) {
        const qreal left = std::clamp(7 - std::trunc(width / 2), 0.0, zemtray::kBaseSize - width);
        painter.drawText(QPointF(left, baseline), text);
        return;
    }
    painter.save();
    painter.scale(zemtray::kBaseSize / width, 1.0);
    painter.drawText(QPointF(0, baseline), text);
    painter.restore();
}

} // namespace

QImage DrawTrayPicture(const QString &number, const QString &unit, const ZEMTrayColours &colours, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    const bool base = size < 2 * zemtray::kBaseSize;
    // Below twice the base size the bitmaps are drawn at whole pixels, centred; above it
    // everything is drawn smoothly at the picture's own scale.
    const qreal scale =
        base ? std::max(1, size / zemtray::kBaseSize) : static_cast<qreal>(size) / zemtray::kBaseSize;
    const int offset = base ? (size - zemtray::kBaseSize) / 2 : 0;
    painter.translate(offset, offset);
    painter.scale(scale, scale);
    painter.setRenderHint(QPainter::Antialiasing, !base);
    painter.setRenderHint(QPainter::TextAntialiasing, !base);

    // Rounded corners below, square corners above.
    const qreal side = zemtray::kBaseSize;
    QPainterPath shape;
    shape.setFillRule(Qt::WindingFill);
    shape.addRoundedRect(QRectF(0, 0, side, side), 2.0, 2.0);
    shape.addRect(QRectF(0, 0, side, side / 2));
    painter.fillPath(shape, colours.background);

    painter.setPen(colours.text);
    if (!base || !DrawPixelText(painter, number, 1))
        DrawScaledText(painter, number, 8, 0);
    if (!base || !DrawPixelText(painter, unit, 9))
        DrawScaledText(painter, unit, 7, 8);
    return image;
}

QIcon MakeTrayIcon(const QString &number, const QString &unit, const ZEMTrayColours &colours)
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(DrawTrayPicture(number, unit, colours, size)));
    return icon;
}
