#include "zem_aboutdlg.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>

#include "zmm_utils.h"

namespace {
// The splash strip: the program's emblem over a teal gradient, drawn from the artwork at the
// screen's pixel density so it stays sharp.
QPixmap SplashPixmap(qreal dpr)
{
    const QSize size(100, 280);
    QPixmap pixmap(size * dpr);
    pixmap.setDevicePixelRatio(dpr);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0, QColor(11, 122, 117));
    gradient.setColorAt(1, QColor(6, 60, 70));
    painter.fillRect(QRect(QPoint(0, 0), size), gradient);
    QSvgRenderer emblem(QStringLiteral(":/icons/tallyview.svg"));
    emblem.render(&painter, QRectF(18, 24, 64, 64));
    painter.setPen(QColor(232, 246, 245, 90));
    for (int y = 120; y < size.height(); y += 14)
        painter.drawLine(12, y, 88, y);
    return pixmap;
}

QLabel *TitleLabel(QWidget *parent, const QString &text, const QColor &colour, int pixelHeight, bool bold)
{
    auto *label = new QLabel(text, parent);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}
} // namespace

TZEMAboutDlg::TZEMAboutDlg(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("About"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(353, 343);

    imgSplash = new QLabel(this);
    imgSplash->setObjectName(QStringLiteral("imgSplash"));
    imgSplash->setGeometry(8, 8, 100, 280);
    imgSplash->setPixmap(SplashPixmap(devicePixelRatioF()));

    const QString title = QStringLiteral("Brackwater Tallyway");
    const QRect titleRect(116, 40, 229, 72);
    // Drawn twice: the shadow in the button-shadow colour, the text 2 pixels up and left of it.
    lTitleShadow = TitleLabel(this, title, palette().color(QPalette::Dark), 27, true);
    lTitleShadow->setGeometry(titleRect);
    lTitle = TitleLabel(this, title, palette().color(QPalette::WindowText), 27, true);
    lTitle->setObjectName(QStringLiteral("lTitle"));
    lTitle->setGeometry(titleRect.translated(-2, -2));

    lSubtitle =
        TitleLabel(this, tr("Graphic User Interface"), palette().color(QPalette::WindowText), 19, false);
    lSubtitle->setGeometry(116, 130, 229, 30);

    lVer = new QLabel(QStringLiteral("Version: ") + FormatVersion(), this);
    lVer->setObjectName(QStringLiteral("lVer"));
    QFont verFont = lVer->font();
    verFont.setPixelSize(13);
    lVer->setFont(verFont);
    lVer->setAlignment(Qt::AlignCenter);
    lVer->setGeometry(116, 180, 229, 20);

    bOK = new QPushButton(tr("OK"), this);
    bOK->setObjectName(QStringLiteral("bOK"));
    bOK->setGeometry((353 - 75) / 2, 343 - 25 - 14, 75, 25);
    bOK->setDefault(true);
    connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
    // Escape closes through reject(), the same as OK for this box.
}
