#pragma once
// The "Alerts" page of the options dialog: thresholds of the share of the limit used, each on or off,
// any number of them, and the alert for a limit projected to run out before the period ends.

#include <QWidget>

#include "zem_pace.h"

class QCheckBox;
class QListWidget;
class QPushButton;
class ZEMPrompt;
class ZEMSpinEdit;

class TZEMAlertsPage : public QWidget {
    Q_OBJECT

public:
    explicit TZEMAlertsPage(ZEMPrompt &prompt, QWidget *parent = nullptr);

    void Load(const ZEMAlertSettings &settings);
    ZEMAlertSettings Settings() const;

    QListWidget *lbxThresholds = nullptr;
    ZEMSpinEdit *edThreshold = nullptr;
    QPushButton *bAddThreshold = nullptr;
    QPushButton *bRemoveThreshold = nullptr;
    QCheckBox *cbProjected = nullptr;

private:
    void AddExecute();
    void RemoveExecute();
    void AddItem(const ZEMAlertThreshold &threshold);

    ZEMPrompt &prompt_;
};
