#pragma once
// Where the client finds its pages (Welcome.htm and the help folder HTML/) and the report plug-ins that
// come with it, relative to the folder of its executable: beside it in a build tree (bin/Welcome.htm,
// bin/Reports), or in the installed layout under the same prefix (bin/../share/tallyway and
// bin/../lib/tallyway/reports).

#include <QString>
#include <QStringList>

struct ZEMAppFolders {
    QString pages;   // folder of Welcome.htm and HTML/, ending in "/"; empty when none holds Welcome.htm
    QString reports; // folder of the shipped report plug-ins, ending in "/"; empty when there is none
    QStringList pagesSearched; // the folders looked in for the pages, in order (for the message)

    // Where the help looks for HTML/: the pages' folder, else the program's own.
    QString HelpRoot() const { return pages.isEmpty() ? pagesSearched.value(0) : pages; }
};

// `programFolder`: the executable's folder, with or without a closing "/".
ZEMAppFolders ZEMFindAppFolders(const QString &programFolder);

// The page shown instead of the welcome page when the pages are missing: says which folders were
// searched and what to do.
QString ZEMMissingPagesHtml(const QStringList &searched);
