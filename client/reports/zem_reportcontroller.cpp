#include "zem_reportcontroller.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>

#include "zem_appfolders.h"
#include "zem_envelope.h"
#include "zem_filepicker.h"
#include "zem_prompt.h"
#include "zem_reportlibrary.h"
#include "zem_reportparams.h"
#include "zem_settingsstore.h"
#include "zem_simplexml.h"
#include "zmm_datamodule.h"
#include "zmm_utils.h"

namespace {
constexpr auto kMachine = ZEMSettingsRoot::LocalMachine;

QString PluginKey(const QString &symbolicName)
{
    return QString::fromLatin1(kPluginsKey) + QLatin1Char('\\') + symbolicName;
}
} // namespace

ZEMReportController::ZEMReportController(TDMMain &settings, ZEMExchangeSink &sink, ZEMFilePicker &picker,
                                         ZEMReportMenu &menu, QObject *parent)
    : QObject(parent), settings_(settings), sink_(sink), picker_(picker), menu_(menu),
      activeAlias_([] { return QString(); }), knownAliases_([] { return QStringList(); })
{
    menu_.OnAboutToShow([this] { RebuildReportsMenu(); });
}

void ZEMReportController::SetAdapterSources(std::function<QString()> activeAlias,
                                            std::function<QStringList()> knownAliases)
{
    activeAlias_ = std::move(activeAlias);
    knownAliases_ = std::move(knownAliases);
}

QList<QAction *> ZEMReportController::ReportItems() const { return menu_.Items(); }

QString ZEMReportController::ItemSymbolicName(const QAction *item)
{
    return item->data().toStringList().value(0);
}

QString ZEMReportController::ItemPath(const QAction *item) { return item->data().toStringList().value(1); }

QAction *ZEMReportController::AddItem(const QString &symbolicName, const QString &title,
                                      const QString &description, const QString &path)
{
    auto *item = new QAction(title, this);
    item->setObjectName(QStringLiteral("miReport_") + symbolicName);
    item->setStatusTip(description);
    item->setToolTip(description);
    item->setData(QStringList{symbolicName, path});
    connect(item, &QAction::triggered, this, [this, item] { RunReportItem(item); });
    menu_.Insert(item);
    return item;
}

void ZEMReportController::RebuildReportsMenu()
{
    for (QAction *item : ReportItems()) {
        menu_.Remove(item);
        item->deleteLater();
    }
    ZEMSettingsStore &store = settings_.Store();
    const QString root = QString::fromLatin1(kPluginsKey);
    if (!store.OpenKey(kMachine, root, true)) {
        sink_.Prompt().Error(QStringLiteral("Cannot open registry key <%1>").arg(root));
        return;
    }
    for (const QString &name : store.SubKeyNames(kMachine, root)) {
        const QString key = PluginKey(name);
        if (!store.OpenKey(kMachine, key, false)) {
            sink_.Prompt().Error(QStringLiteral("Cannot open registry key <%1>").arg(name));
            return;
        }
        QString path, title, description, error;
        if (!store.ReadStringChecked(kMachine, key, QStringLiteral("Path"), &path, &error)
            || !store.ReadStringChecked(kMachine, key, QStringLiteral("Title"), &title, &error)
            || !store.ReadStringChecked(kMachine, key, QStringLiteral("Description"), &description, &error)) {
            sink_.Prompt().Error(error);
            return;
        }
        AddItem(name, title, description, path);
    }
}

void ZEMReportController::InstallReport()
{
    ZEMFileRequest request;
    request.title = QStringLiteral("Browse plug-in file");
    // The shipped reports' folder (beside the program in a build tree, ../lib/tallyway/reports installed).
    const QString reports = ZEMFindAppFolders(settings_.AppPath).reports;
    request.folder = reports.isEmpty() ? settings_.AppPath : reports.chopped(1);
    request.filter = QStringLiteral("Dynamic Libraries (*.so)");
    request.extension = QStringLiteral("so");
    const QString path = picker_.OpenFile(request);
    if (path.isEmpty())
        return;
    QString title, error;
    if (!Install(path, title, error)) {
        sink_.Prompt().Stop(QStringLiteral("Can't install plug-in: %1").arg(error));
        return;
    }
    sink_.Prompt().Information(
        QStringLiteral("Report Plug-In %1 have been successfuly installed.").arg(title));
}

// A plug-in that writes past its buffer is refused with a message instead of being trusted further.
bool ZEMReportController::Install(const QString &path, QString &title, QString &error)
try {
    QString symbolicName, description;
    {
        ZEMReportLibrary library(path);
        if (!library.Load()) {
            error = QStringLiteral("Cannot load library!");
            return false;
        }
        const std::optional<QString> name = library.Text(kExportSymbolicName);
        if (!name) {
            error = QStringLiteral("Incorrect report module.");
            return false;
        }
        symbolicName = *name;
        // Installed already: in the menu, or in the settings store (the menu may not have been shown yet,
        // or another run of the program installed it meanwhile).
        // The name becomes a key of the settings store: one level, so no backslash.
        if (symbolicName.isEmpty() || symbolicName.contains(QLatin1Char('\\'))) {
            error = QStringLiteral("Incorrect report module.");
            return false;
        }
        bool known = settings_.Store().KeyExists(kMachine, PluginKey(symbolicName));
        for (const QAction *item : ReportItems())
            known = known || ItemSymbolicName(item) == symbolicName;
        if (known) {
            error = QStringLiteral("duplicate plug-in '%1'").arg(symbolicName);
            return false;
        }
        const std::optional<QString> caption = library.Text(kExportTitle);
        const std::optional<QString> hint = library.Text(kExportDescription);
        if (!caption || !hint) {
            error = QStringLiteral("Incorrect report module.");
            return false;
        }
        title = *caption;
        description = *hint;
    }
    AddItem(symbolicName, title, description, path);

    ZEMSettingsStore &store = settings_.Store();
    const QString key = PluginKey(symbolicName);
    for (const QString &part : {QString::fromLatin1(kPluginsKey), key}) {
        if (!store.OpenKey(kMachine, part, true)) {
            error = QStringLiteral("Can't open registry key: %1").arg(part);
            return false;
        }
    }
    for (const auto &[name, value] :
         {std::pair{QStringLiteral("Title"), title}, std::pair{QStringLiteral("Description"), description},
          std::pair{QStringLiteral("Path"), path}}) {
        if (!store.WriteString(kMachine, key, name, value, &error))
            return false;
    }
    return true;
} catch (const ZEMReportOverrun &overrun) {
    error = overrun.Message();
    return false;
}

void ZEMReportController::RunReportItem(QAction *item)
{
    LastReportPath = ItemPath(item);
    RunReport();
}

bool ZEMReportController::RefreshReport()
{
    if (LastReportPath.isEmpty())
        return false;
    RunReport();
    return true;
}

void ZEMReportController::RunReport()
try {
    ZEMPrompt &prompt = sink_.Prompt();
    ZEMReportLibrary library(LastReportPath);
    if (!library.Load()) {
        prompt.Plain(QStringLiteral("Cannot load library: %1!").arg(LastReportPath));
        return;
    }
    const std::optional<QString> symbolicName = library.Text(kExportSymbolicName);
    if (!symbolicName) {
        prompt.Plain(QStringLiteral("where is GetSymbolicName()?"));
        return;
    }
    if (!library.Has(kExportRunReport)) {
        prompt.Plain(QStringLiteral("Invalid report plug-in: Cannot find RunReport()!"));
        return;
    }

    QString params;
    const QString last = LastReportUrl.value(*symbolicName);
    if (!last.isEmpty()) {
        params = RepeatReportParams(last, knownAliases_(), activeAlias_());
    } else {
        ZEMInitialParamsInput input;
        input.clockNow = settings_.ClockNow;
        input.clockToday = settings_.ClockToday;
        input.weekBegin = settings_.WeekBegin;
        input.weekEnd = settings_.WeekEnd;
        input.activeAlias = activeAlias_();
        input.knownAliases = knownAliases_();
        const std::optional<QString> specialities = library.Text(kExportParamsSpecialities);
        try {
            params = InitialReportParams(input, specialities ? &*specialities : nullptr);
        } catch (const SymbolExpected &fault) {
            prompt.Error(QStringLiteral("The report plug-in '%1' (%2) cannot be run: its parameter "
                                        "specialities are broken, %3")
                             .arg(*symbolicName, LastReportPath, fault.Message()));
            return;
        }
    }

    sink_.ClientLog(QStringLiteral("Initial params: "), params);
    ZEMReportBuffer buffer;
    if (!buffer.Set(params)) {
        prompt.Error(QStringLiteral("The parameters of the report '%1' are too long for a report plug-in "
                                    "(%2 bytes, at most %3). The report was not run.")
                         .arg(*symbolicName)
                         .arg(params.toUtf8().size())
                         .arg(kReportBufferSize - 1));
        return;
    }
    const int result = library.Call(kExportRunReport, buffer).value_or(0);
    const QString pathAndQuery = buffer.Text();
    if (result == 0)
        return;
    const QString address = ReportAddress(settings_.ServerHost, settings_.ServerPort, pathAndQuery,
                                          FormatStamp17(EncodeDateTime(settings_.Clock().Now())));
    LastReportUrl.insert(*symbolicName, address);
    sink_.ClientLog(QStringLiteral("Report params: "), address);
    emit Navigate(address);
} catch (const ZEMReportOverrun &overrun) {
    sink_.Prompt().Error(overrun.Message());
}
