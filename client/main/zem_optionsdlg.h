#pragma once
// The options dialog: presents and checks the client's settings on three pages (Common, Current
// Statistics, Log). EditOptionsDialog fills it from the settings module, opens it on a page and, on OK,
// copies the values back and saves them.

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTabWidget;
class TDMMain;
class TZEMAlertsPage;
class ZEMAutostart;
class ZEMPrompt;
class ZEMSpinEdit;

class TZEMOptionsDlg : public QDialog {
    Q_OBJECT

public:
    enum Page { PageCommon = 0, PageCurrentStatistics = 1, PageLog = 2, PageAlerts = 3 };

    // Failed checks are reported through `prompt`.
    explicit TZEMOptionsDlg(ZEMPrompt &prompt, QWidget *parent = nullptr);

    void LoadFrom(const TDMMain &module);
    // Copies every field into the settings (the numbers as the positions of their spin controls).
    void SaveTo(TDMMain &module) const;
    // The alerts page keeps its settings in the store itself.
    void LoadAlertsFrom(const TDMMain &module);
    bool SaveAlertsTo(TDMMain &module, QString *error = nullptr) const;
    // "Start when I log in" shows whether the session's autostart entry is there; saving writes or
    // removes the entry only when the box was changed.
    void LoadAutostartFrom(const ZEMAutostart &autostart);
    bool SaveAutostartTo(const ZEMAutostart &autostart, QString *error = nullptr) const;

    // Opens on `page`; with `markInterval` the page's interval field takes the focus whenever the page
    // is shown (page 0 has none).
    void SelectPage(int page, bool markInterval);
    ZEMSpinEdit *MarkedField() const { return marked_; }

    // The check made when the dialog is closed with OK: the four numeric fields in a fixed order; the
    // first failure is reported, its page shown and its field focused. True when all pass.
    bool CloseQuery();

    QTabWidget *pcOptions = nullptr;
    QWidget *tsCommon = nullptr;
    QWidget *tsCurrStat = nullptr;
    QWidget *tsLog = nullptr;
    TZEMAlertsPage *tsAlerts = nullptr;
    QCheckBox *cbHideOnRun = nullptr;
    QCheckBox *cbConfirmExit = nullptr;
    QCheckBox *cbAutostart = nullptr;
    QComboBox *cbxFirstDay = nullptr;
    QLineEdit *edHost = nullptr;
    ZEMSpinEdit *edPort = nullptr;
    QCheckBox *cbShowTrayHint = nullptr;
    ZEMSpinEdit *edReqInterval = nullptr;
    ZEMSpinEdit *edLogReqInt = nullptr;
    ZEMSpinEdit *edLogLines = nullptr;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FocusMarkedField();

    ZEMPrompt &prompt_;
    ZEMSpinEdit *marked_ = nullptr;
    bool autostartLoaded_ = false;
};

// Shows the dialog for `module` as described above; true on OK (the settings are then saved).
bool EditOptionsDialog(TDMMain &module, int page, bool markInterval, ZEMPrompt &prompt,
                       QWidget *parent = nullptr);
// Makes module.EditOptions show this dialog (boxes through the module's prompt), parented to `parent`.
void InstallEditOptions(TDMMain &module, QWidget *parent);
