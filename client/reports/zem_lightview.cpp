#include "zem_lightview.h"

#include <QFileInfo>

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
        setSource(url);
        return;
    }
    setHtml(QStringLiteral("<h2>This page cannot be shown</h2><p>The file <b>%1</b> does not exist.</p>")
                .arg(url.toLocalFile().toHtmlEscaped()));
}
