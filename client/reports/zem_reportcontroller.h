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
};
