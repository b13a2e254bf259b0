#pragma once
// The installed reports: the Reports menu rebuilt from the Plugins key of the settings store before
// every pop-up, installing a plug-in, and running one (the last one again for Refresh). Shown pages go
// out through the Navigate signal; boxes through the sink's prompt, file choices through the picker.

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QAction;
class TDMMain;
class ZEMExchangeSink;
class ZEMFilePicker;

inline constexpr char kPluginsKey[] = "SOFTWARE\\Brackwater\\Tallyway\\Plugins";

// Where the report items are shown (the Reports menu, above its separator); the widget side is
// ZEMReportMenuWidget (ui/zem_reportmenu.h), tests may use any other.
class ZEMReportMenu {
public:
    virtual ~ZEMReportMenu() = default;
    // The report items in menu order.
    virtual QList<QAction *> Items() const = 0;
    // Adds an item after the others; the menu shows it, its owner stays the caller.
    virtual void Insert(QAction *item) = 0;
    virtual void Remove(QAction *item) = 0;
    // Called each time the menu is about to pop up.
    virtual void OnAboutToShow(std::function<void()> handler) = 0;
};

class ZEMReportController : public QObject {
    Q_OBJECT

public:
    // `menu` must outlive the controller.
    ZEMReportController(TDMMain &settings, ZEMExchangeSink &sink, ZEMFilePicker &picker, ZEMReportMenu &menu,
                        QObject *parent = nullptr);

    // Where the active adapter and the adapter list are read when a report runs.
    void SetAdapterSources(std::function<QString()> activeAlias, std::function<QStringList()> knownAliases);

    void RebuildReportsMenu();
    void InstallReport();
    // Runs the library at LastReportPath.
    void RunReport();
    // Runs the report of a menu item (its library becomes LastReportPath).
    void RunReportItem(QAction *item);
    // Refresh: the last report again; false when no report ran yet (the caller reloads the page).
    bool RefreshReport();

    // The first start (zem_reportsetup.cpp): while the settings store holds no report and the shipped
    // reports were never registered, installs the plug-ins of `folder` (at most kMaxShippedReports) as
    // InstallReport does, with its checks and keys but without boxes; a plug-in that fails is named in
    // the client log. Then marks the store, so a report the user removes later stays removed. Returns
    // the number registered.
    int RegisterShippedReports(const QString &folder);
    // Reports > Remove report...: the user picks an installed report (through the chooser) and
    // confirms; it leaves the menu and the settings store, the plug-in file stays.
    void RemoveReport();
    // Takes one report out of the settings store and the menu; false with `error` when the store fails.
    bool Uninstall(const QString &symbolicName, QString &error);
    // Picks the report to remove: gets the menu's entries, returns the index chosen or -1 to cancel.
    void SetRemoveChooser(std::function<int(const QStringList &entries)> chooser)
    {
        removeChooser_ = std::move(chooser);
    }
    static constexpr int kMaxShippedReports = 64;

    // The report items above the separator, in menu order.
    QList<QAction *> ReportItems() const;
    static QString ItemSymbolicName(const QAction *item);
    static QString ItemPath(const QAction *item);

    QString LastReportPath;
    QHash<QString, QString> LastReportUrl; // symbolic name -> last address shown

signals:
    void Navigate(const QString &address);

private:
    QAction *AddItem(const QString &symbolicName, const QString &title, const QString &description,
                     const QString &path);
    bool Install(const QString &path, QString &title, QString &error);

    TDMMain &settings_;
    ZEMExchangeSink &sink_;
    ZEMFilePicker &picker_;
    ZEMReportMenu &menu_;
    std::function<QString()> activeAlias_;
    std::function<QStringList()> knownAliases_;
    std::function<int(const QStringList &)> removeChooser_;
};
