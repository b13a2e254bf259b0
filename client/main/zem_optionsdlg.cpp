#include "zem_optionsdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "zem_alertspage.h"
#include "zem_autostart.h"
#include "zem_okcancel.h"
#include "zem_prompt.h"
#include "zem_spinedit.h"
#include "zmm_datamodule.h"

namespace {
ZEMSpinEdit *SpinField(const char *name, int minimum, int maximum)
{
    auto *spin = new ZEMSpinEdit;
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(minimum, maximum);
    spin->setMinimumWidth(90);
    return spin;
}

QCheckBox *CheckBox(const char *name, const QString &caption)
{
    auto *box = new QCheckBox(caption);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

// A titled group of rows; a row with a label gets the label as its field's buddy, one without spans
// the group (a check box).
struct Row {
    QString label;
    QWidget *field;
};
QGroupBox *Group(const QString &title, std::initializer_list<Row> rows)
{
    auto *group = new QGroupBox(title);
    auto *layout = new QFormLayout(group);
    for (const Row &row : rows) {
        if (row.label.isEmpty()) {
            layout->addRow(row.field);
            continue;
        }
        auto *label = new QLabel(row.label);
        label->setBuddy(row.field);
        layout->addRow(label, row.field);
    }
    return group;
}

// A page of groups, stacked from the top.
QWidget *MakePage(std::initializer_list<QGroupBox *> groups)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    for (QGroupBox *group : groups)
        layout->addWidget(group);
    layout->addStretch(1);
    return page;
}

// Spin positions are 16-bit signed.
int Position(const ZEMSpinEdit *field) { return qint16(field->value()); }
} // namespace

TZEMOptionsDlg::TZEMOptionsDlg(ZEMPrompt &prompt, QWidget *parent) : QDialog(parent), prompt_(prompt)
{
    setObjectName(QStringLiteral("ZEMOptionsDlg"));
    setWindowTitle(tr("Tallyway GUI Options"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::WindowContextHelpButtonHint);
    setFixedSize(400, 427);

    pcOptions = new QTabWidget(this);
    pcOptions->setObjectName(QStringLiteral("pcOptions"));
    pcOptions->setAttribute(Qt::WA_Hover);

    // Common page.
    cbHideOnRun = CheckBox("cbHideOnRun", tr("&Hide Tallyway GUI after start"));
    cbConfirmExit = CheckBox("cbConfirmExit", tr("Ask user to confirm e&xit"));
    cbAutostart = CheckBox("cbAutostart", tr("Start when I log &in"));
    cbAutostart->setToolTip(tr("Tallyway GUI starts with the desktop session; with \"Hide Tallyway GUI after "
                               "start\" it comes up in the tray only."));
    cbxFirstDay = new QComboBox;
    cbxFirstDay->setObjectName(QStringLiteral("cbxFirstDay"));
    cbxFirstDay->addItems({tr("Sunday"), tr("Monday"), tr("Tuesday"), tr("Wednesday"), tr("Thursday"),
                           tr("Friday"), tr("Saturday")});
    edHost = new QLineEdit;
    edHost->setObjectName(QStringLiteral("edHost"));
    // Every TCP port a server can listen on (a server started on port 0 is given one above 32767).
    edPort = SpinField("edPort", 1, 65535);
    tsCommon = MakePage(
        {Group(tr("Behaviour"),
               {{QString(), cbHideOnRun}, {QString(), cbConfirmExit}, {QString(), cbAutostart}}),
         Group(tr("Localization"), {{tr("&First day of week:"), cbxFirstDay}}),
         Group(tr("Link to Tallyway Server"), {{tr("&Host address:"), edHost}, {tr("&Port:"), edPort}})});

    // Current statistics page.
    cbShowTrayHint = CheckBox("cbShowTrayHint", tr("Show current statistics as a &hint on tray icon"));
    edReqInterval = SpinField("edReqInterval", 0, 32767);
    tsCurrStat =
        MakePage({Group(tr("Appearance"), {{QString(), cbShowTrayHint}}),
                  Group(tr("Request"), {{tr("&Interval of automatic requests (sec):"), edReqInterval}})});
    // This page's label is word-wrapped over two lines.
    if (auto *form = qobject_cast<QFormLayout *>(edReqInterval->parentWidget()->layout()))
        if (auto *label = qobject_cast<QLabel *>(form->labelForField(edReqInterval)))
            label->setWordWrap(true);

    // Log page.
    edLogReqInt = SpinField("edLogReqInt", 0, 32767);
    edLogLines = SpinField("edLogLines", 1, 32767);
    tsLog = MakePage({Group(tr("Request"), {{tr("&Interval of automatic requests (sec):"), edLogReqInt},
                                            {tr("&Lines to read:"), edLogLines}})});

    pcOptions->addTab(tsCommon, tr("&Common"));
    pcOptions->addTab(tsCurrStat, tr("Current &Statistics"));
    pcOptions->addTab(tsLog, tr("&Log"));
    tsAlerts = new TZEMAlertsPage(prompt_);
    pcOptions->addTab(tsAlerts, tr("&Alerts"));
    connect(pcOptions, &QTabWidget::currentChanged, this, [this] { FocusMarkedField(); });

    QHBoxLayout *buttons = ZEMOkCancelRow(this);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pcOptions, 1);
    layout->addLayout(buttons);
}

void TZEMOptionsDlg::LoadFrom(const TDMMain &module)
{
    edHost->setText(module.ServerHost);
    edPort->setValue(module.ServerPort);
    cbHideOnRun->setChecked(module.HideOnStart);
    cbConfirmExit->setChecked(module.ConfirmExit);
    edReqInterval->setValue(module.ReqInterval);
    cbxFirstDay->setCurrentIndex(module.FirstDOW);
    edLogReqInt->setValue(module.LogReqInterval);
    edLogLines->setValue(module.LogReqLines);
    cbShowTrayHint->setChecked(module.ShowTrayHint);
}

void TZEMOptionsDlg::SaveTo(TDMMain &module) const
{
    module.ServerHost = edHost->text();
    module.ServerPort = edPort->value();
    module.HideOnStart = cbHideOnRun->isChecked();
    module.ConfirmExit = cbConfirmExit->isChecked();
    module.ReqInterval = Position(edReqInterval);
    module.FirstDOW = std::max(0, cbxFirstDay->currentIndex());
    module.LogReqInterval = Position(edLogReqInt);
    module.LogReqLines = Position(edLogLines);
    module.ShowTrayHint = cbShowTrayHint->isChecked();
}

void TZEMOptionsDlg::LoadAlertsFrom(const TDMMain &module)
{
    tsAlerts->Load(ZEMAlertSettings::Load(module.Store()));
}

bool TZEMOptionsDlg::SaveAlertsTo(TDMMain &module, QString *error) const
{
    return tsAlerts->Settings().Save(module.Store(), error);
}

void TZEMOptionsDlg::SelectPage(int page, bool markInterval)
{
    marked_ = nullptr;
    if (markInterval) {
        if (page == PageCurrentStatistics)
            marked_ = edReqInterval;
        if (page == PageLog)
            marked_ = edLogReqInt;
    }
    pcOptions->setCurrentIndex(std::clamp(page, 0, pcOptions->count() - 1));
    FocusMarkedField();
}

void TZEMOptionsDlg::FocusMarkedField()
{
    if (!marked_)
        return;
    if (pcOptions->currentWidget()->isAncestorOf(marked_)) {
        marked_->setFocus();
        marked_->selectAll();
    } else {
        // The fields of other pages stay unfocused: the focus waits on the tabs.
        pcOptions->tabBar()->setFocus();
    }
}

void TZEMOptionsDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The focus can only move once the window is up.
    QTimer::singleShot(0, this, [this] { FocusMarkedField(); });
}

bool TZEMOptionsDlg::CloseQuery()
{
    struct Check {
        ZEMSpinEdit *field;
        QWidget *page;
        const char *name;
    };
    const Check checks[] = {
        {edPort, tsCommon, "Server port"},
        {edLogLines, tsLog, "Lines to read"},
        {edLogReqInt, tsLog, "Log Request Interval"},
        {edReqInterval, tsCurrStat, "Current Statistics Request Interval"},
    };
    for (const Check &check : checks) {
        if (check.field->IsValid())
            continue;
        // The page first, so that the field can take the focus.
        pcOptions->setCurrentWidget(check.page);
        CheckSpinField(check.field, QString::fromLatin1(check.name), prompt_);
        return false;
    }
    return true;
}

void TZEMOptionsDlg::accept()
{
    if (CloseQuery())
        QDialog::accept();
}

void TZEMOptionsDlg::LoadAutostartFrom(const ZEMAutostart &autostart)
{
    cbAutostart->setChecked(autostart.IsEnabled());
    autostartLoaded_ = cbAutostart->isChecked();
}

bool TZEMOptionsDlg::SaveAutostartTo(const ZEMAutostart &autostart, QString *error) const
{
    if (cbAutostart->isChecked() == autostartLoaded_)
        return true;
    return autostart.SetEnabled(cbAutostart->isChecked(), error);
}

bool EditOptionsDialog(TDMMain &module, int page, bool markInterval, ZEMPrompt &prompt, QWidget *parent)
{
    TZEMOptionsDlg dialog(prompt, parent && parent->isVisible() ? parent : nullptr);
    dialog.LoadFrom(module);
    const ZEMAutostart autostart;
    dialog.LoadAutostartFrom(autostart);
    dialog.LoadAlertsFrom(module);
    dialog.SelectPage(page, markInterval);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    dialog.SaveTo(module);
    QString autostartError;
    if (!dialog.SaveAutostartTo(autostart, &autostartError))
        prompt.Error(autostartError);
    if (module.SaveSettings()) {
        QString error;
        if (!dialog.SaveAlertsTo(module, &error) && module.Prompt())
            module.Prompt()->Error(error);
    }
    return true;
}

void InstallEditOptions(TDMMain &module, QWidget *parent)
{
    QPointer<QWidget> guardedParent(parent);
    module.SetEditOptionsHook([guardedParent](TDMMain &target, int page, bool markInterval) {
        ZEMPrompt *prompt = target.Prompt();
        if (!prompt)
            return false;
        return EditOptionsDialog(target, page, markInterval, *prompt, guardedParent.data());
    });
}
