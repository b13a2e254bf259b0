#pragma once
// The report browser of the main window: one pane over two views. The program's own pages (local
// files: the welcome page, pages linked from help) show in a light view; every other page (reports
// from the server and pages linked from them) in the browser engine. One history spans both, so Back
// from the welcome page returns to the report before it.
//
// The engine runs in the report viewer, a program of its own (zem_viewerprocess.h) whose window is
// embedded here. It is started for the first engine page and ended when none is on screen any more (a
// local page shown, or the window hidden for a minute), so that its memory and processes are given
// back; the history keeps the address, and showing that entry again starts it again.
//
// Links whose address holds ">>" are never followed in either view: they come out as PageCommand.

#include <QJsonObject>
#include <QPointer>
#include <QStackedWidget>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <functional>
#include <map>
#include <vector>

class QPrinter;
class ZEMFilePicker;
class ZEMLightView;
class ZEMViewerProcess;

class ZEMBrowserPane : public QStackedWidget {
    Q_OBJECT

public:
    explicit ZEMBrowserPane(QWidget *parent = nullptr);
    ~ZEMBrowserPane() override;

    // Where Save as and downloads ask for a file; the print dialog (true: print on the printer it set up).
    void SetFilePicker(ZEMFilePicker *picker) { picker_ = picker; }
    void SetPrintDialog(std::function<bool(QPrinter &)> dialog) { printDialog_ = std::move(dialog); }
    // Without the engine, pages from elsewhere show a short notice instead (for tests of the window).
    void SetEngineAllowed(bool allowed) { engineAllowed_ = allowed; }
    // The viewer program (default: ZEMViewerProcess::DefaultProgram()).
    void SetViewerProgram(const QString &program) { viewerProgram_ = program; }
    // How long the pane may be hidden before the engine is ended (default: a minute).
    void SetHiddenRelease(std::chrono::milliseconds delay) { hiddenRelease_.setInterval(delay); }

    // Shows a page as a new entry of the history.
    void Navigate(const QUrl &url);
    // Shows `html` in place of a page, without a history entry (to say why a page cannot be shown).
    void ShowMessage(const QString &html);
    void Back();
    void Forward();
    bool CanGoBack() const { return index_ > 0; }
    bool CanGoForward() const { return index_ + 1 < static_cast<int>(entries_.size()); }
    void Stop();
    void Reload();
    // Stops a page that is loading, reloads it, then waits 50 ms.
    void BrowserRefresh();
    void Print();
    void SaveAs();
    void Copy();
    void SelectAll();

    // The status text while a page loads.
    static QString LoadingText(const QUrl &url, int percent);

    QUrl Url() const;
    bool IsBusy() const { return busy_; }
    QList<QUrl> History() const;
    int HistoryIndex() const { return index_; }
    ZEMLightView *LightView() const { return light_; }
    // The page that holds the engine's window.
    QWidget *EngineBox() const { return engineBox_; }
    bool ShowingEngine() const { return currentWidget() == engineBox_; }
    // Whether the viewer runs, and its process (0 when none).
    bool EngineRunning() const;
    qint64 EngineProcessId() const;
    // The title of the engine's page.
    QString EngineTitle() const { return engineTitle_; }
    // Runs a script in the engine's page; `done` gets its result.
    void RunJavaScript(const QString &code, std::function<void(const QVariant &)> done = {});
    // The engine page's text, as plain text.
    void PlainText(std::function<void(const QString &)> done);

signals:
    // The text after ">>" of a link that was caught.
    void PageCommand(const QString &command);
    void HistoryChanged(bool canGoBack, bool canGoForward);
    void StatusTextChanged(const QString &text);
    void LoadFinished(bool ok);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void Show(const QUrl &url);
    void ShowLight();
    void EnsureEngine();
    void ReleaseEngine();
    void EngineEvent(const QJsonObject &event);
    void EngineFailed(const QString &why);
    void Embed();
    // A key of the window pressed over the embedded report: runs its action or opens its menu.
    void WindowKey(QKeyCombination key);
    void Send(const QJsonObject &command);
    void EngineUrlChanged(const QUrl &url);
    void LinkActivated(const QUrl &url);
    void Push(const QUrl &url);
    void AskDownload(const QJsonObject &event);

    ZEMLightView *light_ = nullptr;
    QWidget *engineBox_ = nullptr;      // the stack's page for the engine
    QWidget *engineWindow_ = nullptr;   // the native window the viewer puts its view in
    QPointer<ZEMViewerProcess> viewer_; // while the engine runs
    QString viewerProgram_;
    QTimer hiddenRelease_;
    QUrl engineUrl_;
    QString engineTitle_;
    int nextRequest_ = 1;
    std::map<int, std::function<void(const QJsonObject &)>> replies_;
    ZEMFilePicker *picker_ = nullptr;
    std::function<bool(QPrinter &)> printDialog_;
    bool engineAllowed_ = true;
    std::vector<QUrl> entries_;
    int index_ = -1;
    bool awaitingCommit_ = false; // the engine's next address replaces the current entry's
    bool busy_ = false;
};
