#include "zem_browserpane.h"

#include <QFile>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QThread>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>
#include <memory>

#include "zem_filepicker.h"
#include "zem_lightview.h"
#include "zem_pagecommands.h"

// The engine's page: asks the pane before every navigation.
class ZEMReportPage : public QWebEnginePage {
public:
    ZEMReportPage(ZEMBrowserPane &pane, QObject *parent) : QWebEnginePage(parent), pane_(pane) {}

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override
    {
        return pane_.EngineNavigation(url, isMainFrame);
    }

private:
    ZEMBrowserPane &pane_;
};

ZEMBrowserPane::ZEMBrowserPane(QWidget *parent) : QStackedWidget(parent)
{
    light_ = new ZEMLightView(this);
    light_->setObjectName(QStringLiteral("wbLight"));
    addWidget(light_);
    connect(light_, &ZEMLightView::LinkActivated, this, &ZEMBrowserPane::LinkActivated);
    printDialog_ = [this](QPrinter &printer) {
        QPrintDialog dialog(&printer, this);
        return dialog.exec() == QDialog::Accepted;
    };
}

ZEMBrowserPane::~ZEMBrowserPane() = default;

QUrl ZEMBrowserPane::Url() const { return index_ >= 0 ? entries_[static_cast<std::size_t>(index_)] : QUrl(); }

QList<QUrl> ZEMBrowserPane::History() const { return QList<QUrl>(entries_.begin(), entries_.end()); }

bool ZEMBrowserPane::ShowingEngine() const { return engine_ && currentWidget() == engine_; }

void ZEMBrowserPane::Push(const QUrl &url)
{
    entries_.resize(static_cast<std::size_t>(index_ + 1));
    entries_.push_back(url);
    ++index_;
    emit HistoryChanged(CanGoBack(), CanGoForward());
}

void ZEMBrowserPane::Navigate(const QUrl &url)
{
    Push(url);
    Show(url);
}

void ZEMBrowserPane::ShowMessage(const QString &html)
{
    if (engine_ && busy_)
        engine_->stop();
    awaitingCommit_ = false;
    light_->setHtml(html);
    setCurrentWidget(light_);
    emit StatusTextChanged(QString());
    emit LoadFinished(true);
}

void ZEMBrowserPane::Back()
{
    if (!CanGoBack())
        return;
    --index_;
    emit HistoryChanged(CanGoBack(), CanGoForward());
    Show(Url());
}

void ZEMBrowserPane::Forward()
{
    if (!CanGoForward())
        return;
    ++index_;
    emit HistoryChanged(CanGoBack(), CanGoForward());
    Show(Url());
}

void ZEMBrowserPane::Show(const QUrl &url)
{
    if (ZEMLightView::IsLocalPage(url)) {
        if (engine_ && busy_)
            engine_->stop();
        awaitingCommit_ = false;
        light_->ShowPage(url);
        setCurrentWidget(light_);
        emit StatusTextChanged(QString());
        emit LoadFinished(true);
        return;
    }
    if (!engineAllowed_) {
        light_->setHtml(QStringLiteral("<p>%1</p>").arg(url.toString().toHtmlEscaped()));
        setCurrentWidget(light_);
        emit LoadFinished(false);
        return;
    }
    EnsureEngine();
    awaitingCommit_ = true;
    setCurrentWidget(engine_);
    engine_->setUrl(url);
}

QString ZEMBrowserPane::LoadingText(const QUrl &url, int percent)
{
    // One substitution: a "%2" inside the address (as in "%2C") stays as it is.
    return tr("Loading %1 (%2%)").arg(url.toString(), QString::number(percent));
}

void ZEMBrowserPane::EnsureEngine()
{
    if (engine_)
        return;
    engine_ = new QWebEngineView(this);
    engine_->setObjectName(QStringLiteral("wbEngine"));
    engine_->setPage(new ZEMReportPage(*this, engine_));
    // In print, links that only work in the window (in-page commands such as "Back to the home page")
    // are left out.
    QWebEngineScript printStyle;
    printStyle.setName(QStringLiteral("zem-print-style"));
    printStyle.setInjectionPoint(QWebEngineScript::DocumentReady);
    printStyle.setWorldId(QWebEngineScript::ApplicationWorld);
    printStyle.setSourceCode(
        QStringLiteral("(function(){var s=document.createElement('style');s.id='zem-print-style';"
                       "s.textContent='@media print{a[href*=\\'>>\\']{display:none !important}}';"
                       "(document.head||document.documentElement).appendChild(s);})();"));
    engine_->page()->scripts().insert(printStyle);
    addWidget(engine_);
    connect(engine_, &QWebEngineView::urlChanged, this, &ZEMBrowserPane::EngineUrlChanged);
    connect(engine_, &QWebEngineView::loadStarted, this, [this] {
        busy_ = true;
        emit StatusTextChanged(tr("Opening page %1...").arg(engine_->url().toString()));
    });
    connect(engine_, &QWebEngineView::loadProgress, this, [this](int percent) {
        if (busy_ && percent < 100)
            emit StatusTextChanged(LoadingText(engine_->url(), percent));
    });
    connect(engine_, &QWebEngineView::loadFinished, this, [this](bool ok) {
        busy_ = false;
        emit StatusTextChanged(QString());
        emit LoadFinished(ok);
    });
    connect(engine_->page(), &QWebEnginePage::linkHovered, this, &ZEMBrowserPane::StatusTextChanged);
    connect(engine_->page()->profile(), &QWebEngineProfile::downloadRequested, this,
            &ZEMBrowserPane::Download);
    emit EngineStarted(engine_);
}

bool ZEMBrowserPane::EngineNavigation(const QUrl &url, bool isMainFrame)
{
    if (const std::optional<QString> command = PageCommandOf(url)) {
        // Run after the engine's callback has returned: a command may open a modal box.
        QMetaObject::invokeMethod(
            this, [this, command = *command] { emit PageCommand(command); }, Qt::QueuedConnection);
        return false;
    }
    if (isMainFrame && ZEMLightView::IsLocalPage(url)) {
        QMetaObject::invokeMethod(
            this, [this, url] { Navigate(url); }, Qt::QueuedConnection);
        return false;
    }
    return true;
}

void ZEMBrowserPane::EngineUrlChanged(const QUrl &url)
{
    if (url.isEmpty() || !ShowingEngine())
        return;
    if (awaitingCommit_) {
        // The address as the engine writes it replaces the one we asked for.
        awaitingCommit_ = false;
        entries_[static_cast<std::size_t>(index_)] = url;
        return;
    }
    if (url != Url())
        Push(url); // a link followed inside the engine
}

void ZEMBrowserPane::LinkActivated(const QUrl &url)
{
    if (const std::optional<QString> command = PageCommandOf(url)) {
        emit PageCommand(*command);
        return;
    }
    if (url.isLocalFile() && url.adjusted(QUrl::RemoveFragment) == Url().adjusted(QUrl::RemoveFragment)) {
        light_->setSource(url); // an anchor of the page shown
        return;
    }
    Navigate(url);
}

void ZEMBrowserPane::Stop()
{
    if (engine_)
        engine_->stop();
}

void ZEMBrowserPane::Reload()
{
    if (ShowingEngine())
        engine_->reload();
    else if (index_ >= 0)
        Show(Url());
}

void ZEMBrowserPane::BrowserRefresh()
{
    if (busy_)
        Stop();
    Reload();
    QThread::msleep(50);
}

void ZEMBrowserPane::Copy()
{
    if (ShowingEngine())
        engine_->triggerPageAction(QWebEnginePage::Copy);
    else
        light_->copy();
}

void ZEMBrowserPane::SelectAll()
{
    if (ShowingEngine())
        engine_->triggerPageAction(QWebEnginePage::SelectAll);
    else
        light_->selectAll();
}

void ZEMBrowserPane::Print()
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (!printDialog_ || !printDialog_(*printer))
        return;
    if (!ShowingEngine()) {
        light_->print(printer.get());
        emit StatusTextChanged(QString());
        return;
    }
    if (printer->outputFormat() == QPrinter::PdfFormat && !printer->outputFileName().isEmpty()) {
        // A PDF file comes from the engine's own PDF output, which keeps the text as text.
        connect(
            engine_->page(), &QWebEnginePage::pdfPrintingFinished, this,
            [this](const QString &, bool ok) {
                emit StatusTextChanged(ok ? QString() : tr("Printing failed"));
            },
            Qt::SingleShotConnection);
        emit StatusTextChanged(tr("Printing..."));
        engine_->page()->printToPdf(printer->outputFileName(), printer->pageLayout(), printer->pageRanges());
        return;
    }
    // The engine prints in the background; the printer lives until it is done.
    QPrinter *pending = printer.release();
    connect(
        engine_, &QWebEngineView::printFinished, this,
        [this, pending](bool ok) {
            delete pending;
            emit StatusTextChanged(ok ? QString() : tr("Printing failed"));
        },
        Qt::SingleShotConnection);
    emit StatusTextChanged(tr("Printing..."));
    engine_->print(pending);
}

void ZEMBrowserPane::SaveAs()
{
    if (!picker_ || index_ < 0)
        return;
    ZEMFileRequest request;
    request.title = tr("Save As");
    request.fileName =
        Url().fileName().isEmpty() || !Url().isLocalFile() ? QStringLiteral("report.htm") : Url().fileName();
    request.filter = tr("Web pages (*.htm *.html);;All files (*)");
    request.extension = QStringLiteral("htm");
    const QString path = picker_->SaveFile(request);
    if (path.isEmpty())
        return;
    if (ShowingEngine()) {
        engine_->page()->save(path, QWebEngineDownloadRequest::SingleHtmlSaveFormat);
        return;
    }
    // A local page is saved as the file it is.
    QFile::remove(path);
    if (!QFile::copy(Url().toLocalFile(), path))
        emit StatusTextChanged(tr("Cannot save %1").arg(path));
}

void ZEMBrowserPane::Download(QWebEngineDownloadRequest *download)
{
    if (!engine_ || download->page() != engine_->page())
        return;
    if (download->isSavePageDownload()) {
        download->accept();
        return;
    }
    QString path;
    if (picker_) {
        ZEMFileRequest request;
        request.title = tr("Save As");
        request.fileName = download->downloadFileName();
        request.folder = download->downloadDirectory();
        request.extension = QFileInfo(download->downloadFileName()).suffix();
        request.filter = tr("All files (*)");
        path = picker_->SaveFile(request);
    }
    if (path.isEmpty()) {
        download->cancel();
        return;
    }
    const QFileInfo target(path);
    QFile::remove(path); // the picker asked about replacing it
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, download, path] {
        emit StatusTextChanged(download->state() == QWebEngineDownloadRequest::DownloadCompleted
                                   ? tr("Saved %1").arg(path)
                                   : tr("Download failed: %1").arg(download->interruptReasonString()));
    });
    download->accept();
}
