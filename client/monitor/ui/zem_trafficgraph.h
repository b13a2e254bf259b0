#pragma once
// The "Traffic Graph" window: the active adapter's receive and send rates over the last 10 minutes or
// the last hour, drawn from the poll's rings of rate samples (zem_rates.h). While it is shown the poll
// asks for the statistics at least once a second. Esc closes it; Ctrl+C copies the samples shown as
// CSV; its accessible description carries the current rates and the peak of the span shown.

#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

#include "zem_rates.h"

class QAction;
class QComboBox;
class QCustomPlot;
class QLabel;
class QPushButton;
class ZEMStatsPoll;

class TZEMTrafficGraph : public QWidget {
    Q_OBJECT

public:
    // The window may outlive `poll` (the main window's parts go first); it then shows nothing more.
    explicit TZEMTrafficGraph(ZEMStatsPoll &poll, QWidget *parent = nullptr);
    ~TZEMTrafficGraph() override;

    // Where "Copy as CSV" puts its text (the system clipboard unless replaced).
    void SetClipboard(std::function<void(const QString &)> copy) { copy_ = std::move(copy); }

    enum class Span { TenMinutes, Hour };
    void SetSpan(Span span);
    Span CurrentSpan() const;
    qint64 SpanMs() const;
    // The span's name as a sentence reads it: "last 10 minutes", "last hour".
    QString SpanName() const;

    // The samples shown now, oldest first.
    std::vector<ZEMRateSample> ShownSamples() const;
    // Redraws from the poll's samples and rates.
    void Redraw();
    void CopyCsv();

    QCustomPlot *Plot() const { return plot_; }
    QString StatusText() const;

    QComboBox *cbSpan = nullptr;
    QPushButton *bCopy = nullptr;
    QPushButton *bClose = nullptr;
    QAction *actCopyCsv = nullptr;
    QAction *actCloseGraph = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void HoldFastPoll(bool hold);

    QPointer<ZEMStatsPoll> poll_;
    QCustomPlot *plot_ = nullptr;
    QLabel *lStatus_ = nullptr;
    std::function<void(const QString &)> copy_;
    bool holding_ = false;
};
