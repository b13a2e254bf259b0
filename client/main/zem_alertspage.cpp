#include "zem_alertspage.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "zem_prompt.h"
#include "zem_spinedit.h"

namespace {
constexpr int kPercentRole = Qt::UserRole;
} // namespace

TZEMAlertsPage::TZEMAlertsPage(ZEMPrompt &prompt, QWidget *parent) : QWidget(parent), prompt_(prompt)
{
    setObjectName(QStringLiteral("tsAlerts"));

    lbxThresholds = new QListWidget;
    lbxThresholds->setObjectName(QStringLiteral("lbxThresholds"));
    lbxThresholds->setAccessibleName(tr("Thresholds"));
    edThreshold = new ZEMSpinEdit;
    edThreshold->setObjectName(QStringLiteral("edThreshold"));
    edThreshold->setRange(1, kAlertPercentMax);
    edThreshold->setValue(80);
    bAddThreshold = new QPushButton(tr("A&dd"));
    bAddThreshold->setObjectName(QStringLiteral("bAddThreshold"));
    bAddThreshold->setAutoDefault(false);
    bRemoveThreshold = new QPushButton(tr("&Remove"));
    bRemoveThreshold->setObjectName(QStringLiteral("bRemoveThreshold"));
    bRemoveThreshold->setAutoDefault(false);
    connect(bAddThreshold, &QPushButton::clicked, this, &TZEMAlertsPage::AddExecute);
    connect(bRemoveThreshold, &QPushButton::clicked, this, &TZEMAlertsPage::RemoveExecute);

    auto *shareLabel = new QLabel(tr("Alert when this share of the limit is &used (ticked ones only):"));
    shareLabel->setWordWrap(true);
    shareLabel->setBuddy(lbxThresholds);
    auto *newLabel = new QLabel(tr("&New threshold (%):"));
    newLabel->setBuddy(edThreshold);
    auto *addRow = new QHBoxLayout;
    addRow->addWidget(newLabel);
    addRow->addWidget(edThreshold);
    addRow->addWidget(bAddThreshold);
    addRow->addWidget(bRemoveThreshold);

    auto *shares = new QGroupBox(tr("Share of the limit"));
    auto *sharesLayout = new QVBoxLayout(shares);
    sharesLayout->addWidget(shareLabel);
    sharesLayout->addWidget(lbxThresholds, 1);
    sharesLayout->addLayout(addRow);

    cbProjected = new QCheckBox(tr("Alert when the limit is &projected to run out before the period ends"));
    cbProjected->setObjectName(QStringLiteral("cbProjected"));
    auto *projection = new QGroupBox(tr("Projection"));
    auto *projectionLayout = new QVBoxLayout(projection);
    projectionLayout->addWidget(cbProjected);

    auto *note = new QLabel(tr("Each alert comes once per adapter and bill period, and again after the limit "
                               "was raised past it."));
    note->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(shares, 1);
    layout->addWidget(projection);
    layout->addWidget(note);
}

void TZEMAlertsPage::AddItem(const ZEMAlertThreshold &threshold)
{
    auto *item = new QListWidgetItem(QStringLiteral("%1 %").arg(threshold.percent));
    item->setData(kPercentRole, threshold.percent);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(threshold.enabled ? Qt::Checked : Qt::Unchecked);
    // Kept in ascending order.
    int row = 0;
    while (row < lbxThresholds->count()
           && lbxThresholds->item(row)->data(kPercentRole).toInt() < threshold.percent)
        ++row;
    lbxThresholds->insertItem(row, item);
    lbxThresholds->setCurrentItem(item);
}

void TZEMAlertsPage::Load(const ZEMAlertSettings &settings)
{
    lbxThresholds->clear();
    for (const ZEMAlertThreshold &threshold : settings.thresholds)
        AddItem(threshold);
    cbProjected->setChecked(settings.projected);
}

ZEMAlertSettings TZEMAlertsPage::Settings() const
{
    ZEMAlertSettings settings;
    settings.thresholds.clear();
    for (int row = 0; row < lbxThresholds->count(); ++row) {
        const QListWidgetItem *item = lbxThresholds->item(row);
        settings.thresholds.append({item->data(kPercentRole).toInt(), item->checkState() == Qt::Checked});
    }
    settings.projected = cbProjected->isChecked();
    return settings;
}

void TZEMAlertsPage::AddExecute()
{
    if (!CheckSpinField(edThreshold, tr("New threshold"), prompt_))
        return;
    const int percent = edThreshold->value();
    for (int row = 0; row < lbxThresholds->count(); ++row)
        if (lbxThresholds->item(row)->data(kPercentRole).toInt() == percent) {
            lbxThresholds->setCurrentRow(row);
            lbxThresholds->item(row)->setCheckState(Qt::Checked);
            return;
        }
    if (lbxThresholds->count() >= kAlertThresholdsMax) {
        prompt_.Error(tr("No more than %1 thresholds can be set.").arg(kAlertThresholdsMax));
        return;
    }
    AddItem({percent, true});
}

void TZEMAlertsPage::RemoveExecute() { delete lbxThresholds->currentItem(); }
