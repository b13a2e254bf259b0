// The report controller's set-up of the installed reports: the shipped reports registered on a first
// start, and removing a report again.
#include <QAction>
#include <QDir>
#include <QFileInfo>

#include "zem_envelope.h"
#include "zem_prompt.h"
#include "zem_reportcontroller.h"
#include "zem_settingsstore.h"
#include "zmm_datamodule.h"

namespace {
constexpr auto kMachine = ZEMSettingsRoot::LocalMachine;
// A value of the Plugins key itself (reports are its subkeys): set once the shipped reports were offered.
constexpr char kShippedMark[] = "ShippedReportsRegistered";
} // namespace

int ZEMReportController::RegisterShippedReports(const QString &folder)
{
    ZEMSettingsStore &store = settings_.Store();
    const QString root = QString::fromLatin1(kPluginsKey);
    if (folder.isEmpty() || !store.SubKeyNames(kMachine, root).isEmpty()
        || store.ReadInteger(kMachine, root, QString::fromLatin1(kShippedMark)).value_or(0) != 0)
        return 0;
    const QString prefix = QStringLiteral("Shipped reports: ");
    QFileInfoList files;
    for (const QFileInfo &file : QDir(folder).entryInfoList(QDir::Files, QDir::Name))
        if (file.fileName().endsWith(QLatin1String(".so"), Qt::CaseInsensitive))
            files << file;
    if (files.size() > kMaxShippedReports) {
        sink_.ClientLog(prefix, QStringLiteral("%1 holds %2 plug-ins; only the first %3 are registered")
                                    .arg(folder)
                                    .arg(files.size())
                                    .arg(kMaxShippedReports));
        files = files.mid(0, kMaxShippedReports);
    }
    int registered = 0;
    for (const QFileInfo &file : files) {
        QString title, error;
        if (Install(file.absoluteFilePath(), title, error)) {
            ++registered;
            sink_.ClientLog(prefix, QStringLiteral("registered %1 (%2)").arg(title, file.absoluteFilePath()));
        } else {
            sink_.ClientLog(prefix,
                            QStringLiteral("cannot register %1: %2").arg(file.absoluteFilePath(), error));
        }
    }
    QString error;
    if (!store.WriteInteger(kMachine, root, QString::fromLatin1(kShippedMark), 1, &error))
        sink_.ClientLog(prefix, error);
    return registered;
}

bool ZEMReportController::Uninstall(const QString &symbolicName, QString &error)
{
    if (!settings_.Store().DeleteKey(
            kMachine, QString::fromLatin1(kPluginsKey) + QLatin1Char('\\') + symbolicName, &error))
        return false;
    for (QAction *item : ReportItems()) {
        if (ItemSymbolicName(item).compare(symbolicName, Qt::CaseInsensitive) == 0) {
            menu_.Remove(item);
            item->deleteLater();
        }
    }
    return true;
}

void ZEMReportController::RemoveReport()
{
    RebuildReportsMenu(); // the reports the store holds now, in menu order
    const QList<QAction *> items = ReportItems();
    ZEMPrompt &prompt = sink_.Prompt();
    if (items.isEmpty()) {
        prompt.Information(QStringLiteral("No report is installed."));
        return;
    }
    QStringList entries;
    for (const QAction *item : items)
        entries << QStringLiteral("%1 (%2)").arg(item->text(), ItemSymbolicName(item));
    const int index = removeChooser_ ? removeChooser_(entries) : -1;
    if (index < 0 || index >= items.size())
        return;
    const QString name = ItemSymbolicName(items[index]);
    const QString title = items[index]->text();
    if (!prompt.Ask(QStringLiteral("Remove the report \"%1\" from the Reports menu? The plug-in file stays "
                                   "where it is; \"Install new report...\" brings the report back.")
                        .arg(title),
                    false))
        return;
    QString error;
    if (!Uninstall(name, error))
        prompt.Error(QStringLiteral("Can't remove the report \"%1\": %2").arg(title, error));
}
