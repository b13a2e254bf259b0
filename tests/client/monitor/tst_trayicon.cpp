#include "zem_trayicon.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

namespace {

TEST(TrayColours, Thresholds)
{
    const ZEMTrayColours normal{Qt::white, zemtray::kTeal};
    const ZEMTrayColours low{Qt::black, zemtray::kYellow};
    const ZEMTrayColours over{zemtray::kYellow, zemtray::kRed};

    EXPECT_EQ(TrayColours(1000, 49), low);
    EXPECT_EQ(TrayColours(1000, 50), normal);
    EXPECT_EQ(TrayColours(1000, 0), low);
    EXPECT_EQ(TrayColours(1000, -1), over);
    // No limit means no warning colour, whatever the remainder.
    EXPECT_EQ(TrayColours(0, -5), normal);
    EXPECT_EQ(TrayColours(-1, -5), normal);
    // Integer division: a limit of 19 gives a threshold of 0, so only an overrun warns.
    EXPECT_EQ(TrayColours(19, 0), normal);
    EXPECT_EQ(TrayColours(19, -1), over);
    EXPECT_EQ(TrayColours(INT64_MAX, INT64_MAX / 20 - 1), low);
}

class TrayPicture : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "stats_tray";
        static char *argv[] = {name, nullptr};
        if (QGuiApplication::instance() == nullptr)
            app_ = new QGuiApplication(argc, argv);
    }
    static QGuiApplication *app_;
};
QGuiApplication *TrayPicture::app_ = nullptr;

int CountPixels(const QImage &image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour ? 1 : 0;
    return n;
}

TEST_F(TrayPicture, ShapeAndColours)
{
    const ZEMTrayColours colours{Qt::black, zemtray::kYellow};
    const QImage image = DrawTrayPicture(QStringLiteral("12.0"), QStringLiteral("MB"), colours);
    ASSERT_EQ(image.size(), QSize(16, 16));
    const QRgb yellow = zemtray::kYellow.rgb();
    // Top corners square, bottom corners rounded and transparent.
    EXPECT_EQ(image.pixel(0, 0), yellow);
    EXPECT_EQ(image.pixel(15, 0), yellow);
    EXPECT_EQ(qAlpha(image.pixel(0, 15)), 0);
    EXPECT_EQ(qAlpha(image.pixel(15, 15)), 0);
    // Only the two colours (the text is drawn without smoothing at the base size).
    const int background = CountPixels(image, yellow);
    const int text = CountPixels(image, QColor(Qt::black).rgb());
    const int clear = CountPixels(image, qRgba(0, 0, 0, 0));
    EXPECT_GT(text, 20);
    EXPECT_GE(clear, 2);
    EXPECT_EQ(background + text + clear, 16 * 16);
}

TEST_F(TrayPicture, IconCarriesLargerSizes)
{
    const QIcon icon = MakeTrayIcon(QStringLiteral("1023"), QStringLiteral("byte"), TrayColours(0, 0));
    const auto sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(64, 64)));
    // The large picture is drawn, not blown up: it holds far more text pixels than 4 x the base.
    const QImage big = icon.pixmap(QSize(64, 64)).toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(big.size(), QSize(64, 64));
    EXPECT_EQ(big.pixel(0, 0), zemtray::kTeal.rgb());
    EXPECT_GT(CountPixels(big, QColor(Qt::white).rgb()), 40);
}

TEST_F(TrayPicture, WideTextIsNarrowedNotCut)
{
    // A number far wider than the picture is squeezed across its whole width.
    const QImage image = DrawTrayPicture(QStringLiteral("888888"), QStringLiteral("byte"), TrayColours(0, 0));
    int first = 16, last = -1;
    for (int x = 0; x < 16; ++x)
        for (int y = 0; y < 8; ++y)
            if (image.pixel(x, y) == QColor(Qt::white).rgb()) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    EXPECT_LE(first, 1);
    EXPECT_GE(last, 13);
}

} // namespace

namespace {

// Not a check: with TALLY_TRAY_PNG_DIR set, writes the picture in its three colours at 16 and 64
// pixels, for looking at.
TEST_F(TrayPicture, WritesPngsWhenAsked)
{
    const QString dir = qEnvironmentVariable("TALLY_TRAY_PNG_DIR");
    if (dir.isEmpty())
        GTEST_SKIP() << "TALLY_TRAY_PNG_DIR not set";
    const struct {
        const char *name;
        std::int64_t limit, remainder;
    } cases[] = {{"teal", 1000, 500}, {"yellow", 1000, 49}, {"red", 1000, -1}};
    for (const auto &c : cases)
        for (int size : {16, 64}) {
            const QImage image = DrawTrayPicture(QStringLiteral("12.3"), QStringLiteral("MB"),
                                                 TrayColours(c.limit, c.remainder), size);
            const QString path =
                QStringLiteral("%1/tray-%2-%3.png").arg(dir, QLatin1String(c.name)).arg(size);
            EXPECT_TRUE(image.save(path)) << path.toStdString();
            // A 16-pixel picture blown up without smoothing, to see the real pixels.
            if (size == 16)
                image.scaled(128, 128).save(
                    QStringLiteral("%1/tray-%2-16x8.png").arg(dir, QLatin1String(c.name)));
        }
    // The widest texts the picture has to hold.
    DrawTrayPicture(QStringLiteral("1023"), QStringLiteral("byte"), TrayColours(0, 0))
        .scaled(128, 128)
        .save(dir + QStringLiteral("/tray-bytes-16x8.png"));
}

} // namespace
