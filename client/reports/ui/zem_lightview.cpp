#include "zem_lightview.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextDocument>

namespace {
constexpr qint64 kMaxStyleSheetBytes = 256 * 1024;

// The style sheets a page links ("<link rel=stylesheet href=...>"), read from beside the page: the
// text view does not fetch them itself.
QString LinkedStyleSheets(const QString &pagePath)
{
    QFile page(pagePath);
    if (!page.open(QIODevice::ReadOnly))
        return QString();
    const QString html = QString::fromUtf8(page.read(kMaxStyleSheetBytes));
    static const QRegularExpression link(
        QStringLiteral(R"re(<link\b[^>]*\brel\s*=\s*"?stylesheet"?[^>]*\bhref\s*=\s*"([^"]+)")re"),
        QRegularExpression::CaseInsensitiveOption);
    QString css;
    for (auto it = link.globalMatch(html); it.hasNext();) {
        const QString href = it.next().captured(1);
        if (href.contains(QLatin1Char(':')))
            continue; // only sheets beside the page
        QFile sheet(QFileInfo(pagePath).dir().filePath(href));
        if (sheet.open(QIODevice::ReadOnly))
            css += QString::fromUtf8(sheet.read(kMaxStyleSheetBytes)) + QLatin1Char('\n');
    }
    return css;
}
} // namespace

ZEMLightView::ZEMLightView(QWidget *parent) : QTextBrowser(parent)
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl &link) {
        // Command links ("tallyway:>>home") are kept as written; page links are made absolute.
        emit LinkActivated(link.isRelative() ? source().resolved(link) : link);
    });
}

bool ZEMLightView::IsLocalPage(const QUrl &url) { return url.isLocalFile(); }

void ZEMLightView::ShowPage(const QUrl &url)
{
    if (QFileInfo(url.toLocalFile()).isFile()) {
        document()->setDefaultStyleSheet(LinkedStyleSheets(url.toLocalFile()));
        setSource(url);
        return;
    }
    setHtml(QStringLiteral("<h2>This page cannot be shown</h2><p>The file <b>%1</b> does not exist.</p>")
                .arg(url.toLocalFile().toHtmlEscaped()));
}
