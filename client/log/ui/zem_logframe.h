#pragma once

#include <QAbstractTableModel>
#include <QFrame>
#include <QKeySequence>

#include <functional>
#include <memory>

#include "zem_serverlogexchange.h"
#include "zem_stringbuffer.h"

class QAction;
class QMenu;
class QTableView;
class QTimer;
class TDMMain;
class ZEMQueryBuilder;
class ZEMRequestChannel;
class ZEMXMLItem;

// Fifty rows, row i showing slot i of the buffer.
class ZEMLogLinesModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit ZEMLogLinesModel(const TZEMStringBuffer &buffer, QObject *parent = nullptr)
        : QAbstractTableModel(parent), buffer_(buffer)
    {
    }
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // All rows changed.
    void Refresh();

private:
    const TZEMStringBuffer &buffer_;
};

// The server-log strip at the bottom of the main window: reads the newest lines of the server's
// capture log every LogReqInterval seconds while running, and lets the user pause, re-read, clear,
// copy a line or open it in the text window.
class TZEMLogFrame : public QFrame {
    Q_OBJECT

public:
    explicit TZEMLogFrame(TDMMain &settings, QWidget *parent = nullptr);
    ~TZEMLogFrame() override;

    // Turns periodic reading on or off.
    void SetRunning(bool running);
    bool Running() const { return running_; }
    // The interval of the reading timer; 0 means it never fires.
    void SetTimerInterval(int ms);
    int TimerInterval() const { return interval_; }
    // Stopped unless running with a non-zero interval.
    bool IsStopped() const { return !running_ || interval_ == 0; }

    void AddLine(const QString &text);
    // A report of the exchange: the same report as the newest line folds into it with a count
    // ("... (3 times)"), so an outage does not push the server's lines out of the strip.
    void AddReportLine(const QString &text);
    void RequestLog();
    // One timer tick: a request while running.
    void TimerTick();

    const TZEMStringBuffer &Buffer() const { return buffer_; }
    // The selected row, or -1.
    int SelectedRow() const;
    QString SelectedLine() const;
    // Re-runs the enabling and caption rules of the actions.
    void UpdateActions();

    // Opens a line in the text window; replaceable so that tests need no modal window.
    void SetTextWindowHandler(std::function<void(const QString &)> handler)
    {
        textWindow_ = std::move(handler);
    }

    QTableView *lvLog = nullptr;
    QTimer *tmLog = nullptr;
    QAction *actRead = nullptr;
    QAction *actStartStop = nullptr;
    QAction *actClear = nullptr;
    QAction *actOptions = nullptr;
    QAction *actTextBox = nullptr;
    QAction *actCopy = nullptr;
    QMenu *pmLog = nullptr;
    ZEMRequestChannel &Channel() { return *csLog_; }

private:
    void ApplyTimer();
    void SelectRow(int row);
    void ReadExecute();
    void StartStopExecute();
    void ClearExecute();
    void OptionsExecute();
    void TextBoxExecute();
    void CopyExecute();

    TDMMain &settings_;
    TZEMStringBuffer buffer_;
    ZEMServerLogExchange exchange_;
    std::unique_ptr<ZEMRequestChannel> csLog_;
    ZEMLogLinesModel *model_ = nullptr;
    bool running_ = false;
    bool timerEnabled_ = false;
    int interval_ = 0;
    QString lastReport_; // the report that is the newest line, unfolded; empty when another line is
    int lastReportCount_ = 0;
    std::function<void(const QString &)> textWindow_;
};
