#pragma once
// The About box: product title with a drop shadow, subtitle, and the program's version.

#include <QDialog>

class QLabel;
class QPushButton;

class TZEMAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit TZEMAboutDlg(QWidget *parent = nullptr);

    QLabel *imgSplash = nullptr;
    QLabel *lTitleShadow = nullptr;
    QLabel *lTitle = nullptr;
    QLabel *lSubtitle = nullptr;
    QLabel *lVer = nullptr;
    QPushButton *bOK = nullptr;
};
