#pragma once
// The report browser of the main window: one pane over two views. The program's own pages (local
// files: the welcome page, pages linked from help) show in a light view; every other page (reports
// from the server and pages linked from them) in the browser engine, which is started with the first
// such page. One history spans both, so Back from the welcome page returns to the report before it.
//
// Links whose address holds ">>" are never followed in either view: they come out as PageCommand.

#include <QStackedWidget>
#include <QUrl>
#include <functional>
#include <vector>

class QPrinter;
class QWebEngineDownloadRequest;
class QWebEngineView;
class ZEMFilePicker;
class ZEMLightView;

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
    QWebEngineView *EngineView() const { return engine_; }

signals:
    // The text after ">>" of a link that was caught.
    void PageCommand(const QString &command);
    void HistoryChanged(bool canGoBack, bool canGoForward);
    void StatusTextChanged(const QString &text);
    void LoadFinished(bool ok);
    // The engine was started (once); its profile can be set up now.
    void EngineStarted(QWebEngineView *view);

private:
    friend class ZEMReportPage;
    void Show(const QUrl &url);
    void EnsureEngine();
    // From the engine before each navigation: false cancels it.
    bool EngineNavigation(const QUrl &url, bool isMainFrame);
    void EngineUrlChanged(const QUrl &url);
    void LinkActivated(const QUrl &url);
    void Push(const QUrl &url);
    void Download(QWebEngineDownloadRequest *download);
    bool ShowingEngine() const;

    ZEMLightView *light_ = nullptr;
    QWebEngineView *engine_ = nullptr; // a child, started with the first page from elsewhere
    ZEMFilePicker *picker_ = nullptr;
    std::function<bool(QPrinter &)> printDialog_;
    bool engineAllowed_ = true;
    std::vector<QUrl> entries_;
    int index_ = -1;
    bool awaitingCommit_ = false; // the engine's next address replaces the current entry's
    bool busy_ = false;
};
