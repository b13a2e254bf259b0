#include "zem_adaptconfigdlg.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

#include "zem_adapterconfig.h"
#include "zem_billperiods.h"
#include "zem_treenode.h"
#include "zmm_utils.h"

namespace {

// A read-only value in a sunken frame.
QLabel *SunkenPanel(const char *name, const QString &accessibleName)
{
    auto *panel = new QLabel;
    panel->setObjectName(QLatin1String(name));
    panel->setAccessibleName(accessibleName);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    panel->setMinimumHeight(21);
    return panel;
}

template <typename W>
W *Named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    widget->setAccessibleName(widget->text().remove(u'&'));
    return widget;
}

void Bold(QWidget *widget)
{
    QFont font = widget->font();
    font.setBold(true);
    widget->setFont(font);
}

} // namespace

TZEMAdaptConfigDlg::TZEMAdaptConfigDlg(ZEMTreeNode &record, std::function<bool()> firstStart,
                                       ZEMAssistantSeam assistant, ZEMBillPeriodEditorSeam editor,
                                       QWidget *parent)
    : QDialog(parent), record_(record), firstStart_(std::move(firstStart)), assistant_(std::move(assistant)),
      editor_(std::move(editor))
{
    setObjectName(QStringLiteral("TZEMAdaptConfigDlg"));
    setWindowTitle(tr("Interface Adapter Configuration"));
    setAccessibleName(windowTitle());
    setWindowFlags((windowFlags() | Qt::WindowContextHelpButtonHint) & ~Qt::WindowMinMaxButtonsHint);

    pcSettings = new QTabWidget(this);
    pcSettings->setObjectName(QStringLiteral("pcSettings"));
    tsSettings = new QWidget;
    tsSettings->setObjectName(QStringLiteral("tsSettings"));
    tsSettings->setAccessibleName(tr("Settings"));
    pcSettings->addTab(tsSettings, tr("Settings"));

    pAdapterAlias = SunkenPanel("pAdapterAlias", tr("Adapter alias"));
    pAdapterName = SunkenPanel("pAdapterName", tr("Adapter name"));
    pPhysicalName = SunkenPanel("pPhysicalName", tr("Physical name"));
    cbListen = Named(new QCheckBox(tr("&Listen")), "cbListen");
    Bold(cbListen);
    bBillPeriods = Named(new QPushButton(tr("&Edit bill periods...")), "bBillPeriods");
    Bold(bBillPeriods);
    bBillPeriods->setAutoDefault(false);
    pLAL = new QFrame;
    pLAL->setObjectName(QStringLiteral("pLAL"));
    pLAL->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    chbLAL = Named(new QCheckBox(tr("E&xclude traffic between local addresses")), "chbLAL");
    pLAL->setAccessibleName(chbLAL->accessibleName());
    chbPromis = Named(new QCheckBox(tr("&Promiscuous Mode")), "chbPromis");
    chbBroadcast = Named(new QCheckBox(tr("&Broadcast mode")), "chbBroadcast");
    bOK = Named(new QPushButton(tr("OK")), "bOK");
    bOK->setDefault(true);
    bCancel = Named(new QPushButton(tr("Cancel")), "bCancel");
    bCancel->setAutoDefault(false);

    auto *identity = new QGridLayout;
    const auto addRow = [&](int row, const QString &caption, QLabel *panel) {
        auto *label = new QLabel(caption);
        label->setBuddy(panel);
        identity->addWidget(label, row, 0);
        identity->addWidget(panel, row, 1);
    };
    addRow(0, tr("Alias:"), pAdapterAlias);
    addRow(1, tr("Name:"), pAdapterName);
    addRow(2, tr("Physical name:"), pPhysicalName);
    identity->setColumnStretch(1, 1);

    auto *listenRow = new QHBoxLayout;
    listenRow->addWidget(cbListen);
    listenRow->addStretch(1);
    listenRow->addWidget(bBillPeriods);

    auto *lalLayout = new QVBoxLayout(pLAL);
    lalLayout->setContentsMargins(8, 6, 8, 6);
    lalLayout->addWidget(chbLAL);

    auto *page = new QVBoxLayout(tsSettings);
    page->addLayout(identity);
    page->addSpacing(8);
    page->addLayout(listenRow);
    page->addSpacing(8);
    page->addWidget(pLAL);
    page->addWidget(chbPromis);
    page->addWidget(chbBroadcast);
    page->addStretch(1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bOK);
    buttons->addWidget(bCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pcSettings, 1);
    layout->addLayout(buttons);

    // The tab order of the controls.
    QWidget *order[] = {cbListen, bBillPeriods, chbLAL, chbPromis, chbBroadcast, bOK, bCancel};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(bBillPeriods, &QPushButton::clicked, this, &TZEMAdaptConfigDlg::BillPeriodsClick);

    // A fixed size like the other dialogs (larger only when the controls need more with the font used).
    setFixedSize(QSize(400, 394).expandedTo(sizeHint()));
}

void TZEMAdaptConfigDlg::Fill(bool listen)
{
    // Texts from the server: a readable part of them, marked when cut.
    pAdapterAlias->setText(DisplayText(record_.alias));
    pAdapterName->setText(DisplayText(record_.name));
    pPhysicalName->setText(DisplayText(record_.physicalName));
    cbListen->setChecked(listen);
    chbPromis->setChecked(record_.promiscuousMode != 0);
    chbBroadcast->setChecked(record_.broadcastMode != 0);
    chbLAL->setChecked(!record_.filter.isEmpty());
}

void TZEMAdaptConfigDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    // Centred on the screen, not on the window behind it.
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center()
             - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    // A first configuration proposes to listen on the adapter.
    if (firstStart_ && firstStart_()) {
        if (assistant_)
            assistant_(QString::fromLatin1(kTopicInsideAdapterConfig));
        cbListen->setChecked(true);
    }
}

void TZEMAdaptConfigDlg::BillPeriodsClick()
{
    if (editorOpen_ || !editor_)
        return;
    editorOpen_ = true;
    ZEMBillPeriods copy = record_.billPeriods;
    bool modified = false;
    const bool ok = editor_(copy, pAdapterAlias->text(), modified);
    editorOpen_ = false;
    if (ok) {
        record_.billPeriods = std::move(copy);
        if (!billPeriodsChanged_)
            billPeriodsChanged_ = modified;
    }
    if (firstStart_ && firstStart_() && assistant_)
        assistant_(
            QString::fromLatin1(billPeriodsChanged_ ? kTopicSaveAdapterConfig : kTopicInsideAdapterConfig));
}

void TZEMAdaptConfigDlg::HandleTrainingCard(int command, int /*param*/)
{
    // A command that arrives while the editor is open would stack a second editor, or close this
    // dialog underneath the editor: it is dropped.
    if (editorOpen_ || !isVisible())
        return;
    if (command == 3)
        bBillPeriods->click();
    else if (command == 5)
        done(QDialog::Accepted);
}

void TZEMAdaptConfigDlg::done(int result)
{
    if (result == QDialog::Accepted)
        ApplyLocalTrafficChoice(record_, chbLAL->isChecked());
    QDialog::done(result);
}

ZEMConfigDialogChoice ExecAdapterConfigDialog(ZEMTreeNode &record, bool listen, const ZEMConfigDialogEnv &env)
{
    TZEMAdaptConfigDlg dialog(record, env.firstStart, env.assistant, env.editor, env.parent);
    // Modal for the window behind it only, so the Assistant's help window stays usable for its commands.
    if (env.parent != nullptr)
        dialog.setWindowModality(Qt::WindowModal);
    if (env.opened)
        env.opened(&dialog);
    dialog.Fill(listen);
    ZEMConfigDialogChoice choice;
    choice.accepted = dialog.exec() == QDialog::Accepted;
    if (env.opened)
        env.opened(nullptr);
    choice.listen = dialog.cbListen->isChecked();
    choice.promiscuous = dialog.chbPromis->isChecked();
    choice.broadcast = dialog.chbBroadcast->isChecked();
    choice.billPeriodsChanged = dialog.BillPeriodsChanged();
    return choice;
}
