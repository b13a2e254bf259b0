#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

#include <cstdint>

// Colours of the tray statistics picture, by how much of the period's limit is left.
struct ZEMTrayColours {
    QColor text;
    QColor background;
    bool operator==(const ZEMTrayColours &) const = default;
};

namespace zemtray {
inline const QColor kTeal{0, 128, 128};
inline const QColor kYellow{255, 255, 0};
inline const QColor kRed{255, 0, 0};
// The side of the base picture; larger pictures are drawn at whole multiples of it.
constexpr int kBaseSize = 16;
}

// White on teal; with a positive limit, yellow on red when the remainder is negative and black on
// yellow when it is below a twentieth of the limit (integer division).
ZEMTrayColours TrayColours(std::int64_t limit, std::int64_t remainder);

// Draws the statistics picture at size x size pixels: a rounded background with square top corners,
// the number in the upper half and the unit in the lower half, both centred around x = 7 of a
// sixteen-pixel picture. The corners outside the rounded shape are transparent. A text too wide for
// the picture is narrowed to fit instead of being cut off.
QImage DrawTrayPicture(const QString &number, const QString &unit, const ZEMTrayColours &colours,
                       int size = zemtray::kBaseSize);

// The picture drawn at every size a tray commonly asks for (16 to 64 pixels), so that it stays sharp
// on larger trays and at device pixel ratios above 1.
QIcon MakeTrayIcon(const QString &number, const QString &unit, const ZEMTrayColours &colours);
