#include "zem_appfolders.h"

#include <QDir>
#include <QFileInfo>

namespace {
QString WithSlash(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString Clean(const QString &folder) { return WithSlash(QDir::cleanPath(folder)); }
} // namespace

ZEMAppFolders ZEMFindAppFolders(const QString &programFolder)
{
    const QString bin = Clean(programFolder);
    ZEMAppFolders found;
    found.pagesSearched = {bin, Clean(bin + QStringLiteral("../share/tallyway"))};
    for (const QString &folder : found.pagesSearched) {
        if (QFileInfo(folder + QStringLiteral("Welcome.htm")).isFile()) {
            found.pages = folder;
            break;
        }
    }
    for (const QString &folder :
         {bin + QStringLiteral("Reports"), bin + QStringLiteral("../lib/tallyway/reports")}) {
        if (QFileInfo(folder).isDir()) {
            found.reports = Clean(folder);
            break;
        }
    }
    return found;
}

QString ZEMMissingPagesHtml(const QStringList &searched)
{
    QString list;
    for (const QString &folder : searched)
        list += QStringLiteral("<li><code>%1</code></li>").arg(folder.toHtmlEscaped());
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Pages not found</title>"
                          "</head><body><h2>The program's pages were not found</h2>"
                          "<p>Tallyway GUI looked for its welcome page <code>Welcome.htm</code> and its help "
                          "pages in:</p><ul>%1</ul><p>The installation is incomplete. Install the program "
                          "again (the package <code>tallyway-client</code>, or <code>cmake --install</code> "
                          "of a built tree), or run it from a build tree, where the pages sit beside the "
                          "program. Everything else works without them.</p></body></html>")
        .arg(list);
}
