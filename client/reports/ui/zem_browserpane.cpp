#include "zem_browserpane.h"

#include <QAction>
#include <QFile>
#include <QMenuBar>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonValue>
#include <QPrintDialog>
#include <QPrinter>
#include <QThread>
#include <QVBoxLayout>
#include <QFocusEvent>
#include <QResizeEvent>
#include <QWindow>
#include <memory>

#include "zem_filepicker.h"
#include "zem_lightview.h"
#include "zem_pagecommands.h"
#include "zem_viewerprocess.h"

namespace {
QJsonObject Command(const char *name) { return {{QStringLiteral("cmd"), QLatin1String(name)}}; }
} // namespace

ZEMBrowserPane::ZEMBrowserPane(QWidget *parent) : QStackedWidget(parent)
{
    light_ = new ZEMLightView(this);
    light_->setObjectName(QStringLiteral("wbLight"));
    addWidget(light_);
    connect(light_, &ZEMLightView::LinkActivated, this, &ZEMBrowserPane::LinkActivated);
    engineBox_ = new QWidget(this);
    engineBox_->setObjectName(QStringLiteral("wbEngine"));
    engineBox_->setAccessibleName(tr("Report"));
    auto *layout = new QVBoxLayout(engineBox_);
    layout->setContentsMargins(0, 0, 0, 0);
    addWidget(engineBox_);
    printDialog_ = [this](QPrinter &printer) {
        QPrintDialog dialog(&printer, this);
        return dialog.exec() == QDialog::Accepted;
    };
    hiddenRelease_.setSingleShot(true);
    hiddenRelease_.setInterval(std::chrono::minutes(1));
    connect(&hiddenRelease_, &QTimer::timeout, this, [this] {
        if (!isVisible())
            ReleaseEngine();
    });
}

ZEMBrowserPane::~ZEMBrowserPane()
{
    delete viewer_; // ends the viewer before its window's container goes
}

QUrl ZEMBrowserPane::Url() const { return index_ >= 0 ? entries_[static_cast<std::size_t>(index_)] : QUrl(); }

QList<QUrl> ZEMBrowserPane::History() const { return QList<QUrl>(entries_.begin(), entries_.end()); }

bool ZEMBrowserPane::EngineRunning() const { return viewer_ && viewer_->IsRunning(); }

qint64 ZEMBrowserPane::EngineProcessId() const { return viewer_ ? viewer_->ProcessId() : 0; }

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

void ZEMBrowserPane::ShowLight()
{
    awaitingCommit_ = false;
    busy_ = false;
    setCurrentWidget(light_);
    // No engine page is on screen any more: the engine goes, the history keeps its addresses.
    ReleaseEngine();
    emit StatusTextChanged(QString());
}

void ZEMBrowserPane::ShowMessage(const QString &html)
{
    light_->setHtml(html);
    ShowLight();
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
        light_->ShowPage(url);
        ShowLight();
        emit LoadFinished(true);
        return;
    }
    if (!engineAllowed_) {
        light_->setHtml(QStringLiteral("<p>%1</p>").arg(url.toString().toHtmlEscaped()));
        setCurrentWidget(light_);
        emit LoadFinished(false);
        return;
    }
    setCurrentWidget(engineBox_);
    EnsureEngine();
    if (!viewer_)
        return; // it could not start, and the pane says so
    awaitingCommit_ = true;
    engineUrl_ = url;
    Send({{QStringLiteral("cmd"), QStringLiteral("navigate")}, {QStringLiteral("url"), url.toString()}});
}

QString ZEMBrowserPane::LoadingText(const QUrl &url, int percent)
{
    // One substitution: a "%2" inside the address (as in "%2C") stays as it is.
    return tr("Loading %1 (%2%)").arg(url.toString(), QString::number(percent));
}

void ZEMBrowserPane::EnsureEngine()
{
    if (viewer_)
        return;
    viewer_ = new ZEMViewerProcess(
        viewerProgram_.isEmpty() ? ZEMViewerProcess::DefaultProgram() : viewerProgram_, this);
    connect(viewer_, &ZEMViewerProcess::Event, this, &ZEMBrowserPane::EngineEvent);
    connect(viewer_, &ZEMViewerProcess::Failed, this, &ZEMBrowserPane::EngineFailed);
    engineTitle_.clear();
    viewer_->Start();
    if (viewer_)
        Embed();
}

void ZEMBrowserPane::ReleaseEngine()
{
    hiddenRelease_.stop();
    if (!viewer_)
        return;
    ZEMViewerProcess *viewer = viewer_;
    viewer_ = nullptr;
    // The keyboard may have been in the viewer's window: once that is gone, it comes back to this window
    // (the display would otherwise leave it nowhere).
    // A viewer that has the keyboard hands it to this window before it ends (zem_viewer.h).
    disconnect(viewer, nullptr, this, nullptr);
    replies_.clear();
    busy_ = false;
    viewer->End();
}

void ZEMBrowserPane::EngineFailed(const QString &why)
{
    ReleaseEngine();
    if (ShowingEngine()) {
        light_->setHtml(QStringLiteral("<h2>%1</h2><p>%2</p>")
                            .arg(tr("This page cannot be shown").toHtmlEscaped(), why.toHtmlEscaped()));
        setCurrentWidget(light_);
        emit StatusTextChanged(QString());
        emit LoadFinished(false);
    }
}

void ZEMBrowserPane::Send(const QJsonObject &command)
{
    if (viewer_)
        viewer_->Send(command);
}

namespace {
// The native window the viewer puts its view in; tells it its size, and hands it the keyboard when Tab
// reaches the report (F6 in the report gives it back).
class ZEMEngineHost : public QWidget {
public:
    ZEMEngineHost(QWidget *parent, std::function<void(QSize)> resized, std::function<void()> focused)
        : QWidget(parent), resized_(std::move(resized)), focused_(std::move(focused))
    {
        setAttribute(Qt::WA_NativeWindow);
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QWidget::resizeEvent(event);
        resized_(size());
    }
    void focusInEvent(QFocusEvent *event) override
    {
        QWidget::focusInEvent(event);
        if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
            focused_();
    }

private:
    std::function<void(QSize)> resized_;
    std::function<void()> focused_;
};
} // namespace

void ZEMBrowserPane::Embed()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        // Only X11 lets one program's window live in another's: the report gets a window of its own.
        Send({{QStringLiteral("cmd"), QStringLiteral("show")}, {QStringLiteral("title"), tr("Report")}});
        return;
    }
    if (!engineWindow_) {
        engineWindow_ = new ZEMEngineHost(
            engineBox_,
            [this](QSize size) {
                Send({{QStringLiteral("cmd"), QStringLiteral("resize")},
                      {QStringLiteral("width"), size.width()},
                      {QStringLiteral("height"), size.height()}});
            },
            [this] { Send(Command("focus")); });
        engineBox_->layout()->addWidget(engineWindow_);
    }
    engineWindow_->show();
    Send({{QStringLiteral("cmd"), QStringLiteral("embed")},
          {QStringLiteral("window"), QString::number(engineWindow_->winId())},
          {QStringLiteral("top"), QString::number(window()->winId())},
          {QStringLiteral("width"), engineWindow_->width()},
          {QStringLiteral("height"), engineWindow_->height()}});
}

void ZEMBrowserPane::EngineEvent(const QJsonObject &event)
{
    const QString name = ZEMViewerText(event, "event");
    if (name == QLatin1String("urlChanged")) {
        EngineUrlChanged(QUrl(ZEMViewerText(event, "url")));
    } else if (name == QLatin1String("loadStarted")) {
        busy_ = true;
        engineUrl_ = QUrl(ZEMViewerText(event, "url"));
        emit StatusTextChanged(tr("Opening page %1...").arg(engineUrl_.toString()));
    } else if (name == QLatin1String("loadProgress")) {
        const int percent = event.value(QStringLiteral("percent")).toInt();
        if (busy_ && percent < 100)
            emit StatusTextChanged(LoadingText(engineUrl_, percent));
    } else if (name == QLatin1String("loadFinished")) {
        busy_ = false;
        emit StatusTextChanged(QString());
        emit LoadFinished(event.value(QStringLiteral("ok")).toBool());
    } else if (name == QLatin1String("title")) {
        engineTitle_ = ZEMViewerText(event, "text");
    } else if (name == QLatin1String("linkHovered")) {
        emit StatusTextChanged(ZEMViewerText(event, "url"));
    } else if (name == QLatin1String("command")) {
        // Queued like a click in the light view: a command may open a modal box.
        QMetaObject::invokeMethod(
            this, [this, command = ZEMViewerText(event, "text")] { emit PageCommand(command); },
            Qt::QueuedConnection);
    } else if (name == QLatin1String("local")) {
        const QUrl url(ZEMViewerText(event, "url"));
        QMetaObject::invokeMethod(
            this, [this, url] { Navigate(url); }, Qt::QueuedConnection);
    } else if (name == QLatin1String("key")) {
        WindowKey(QKeyCombination(
            static_cast<Qt::KeyboardModifiers>(event.value(QStringLiteral("modifiers")).toInt()),
            static_cast<Qt::Key>(event.value(QStringLiteral("key")).toInt())));
    } else if (name == QLatin1String("printed")) {
        emit StatusTextChanged(event.value(QStringLiteral("ok")).toBool() ? QString()
                                                                          : tr("Printing failed"));
    } else if (name == QLatin1String("downloadAsk")) {
        AskDownload(event);
    } else if (name == QLatin1String("downloaded")) {
        emit StatusTextChanged(event.value(QStringLiteral("ok")).toBool()
                                   ? tr("Saved %1").arg(ZEMViewerText(event, "path"))
                                   : tr("Download failed: %1").arg(ZEMViewerText(event, "reason")));
    } else if (name == QLatin1String("scriptResult") || name == QLatin1String("plainText")) {
        const auto found = replies_.find(event.value(QStringLiteral("id")).toInt());
        if (found != replies_.end()) {
            const auto reply = std::move(found->second);
            replies_.erase(found);
            if (reply)
                reply(event);
        }
    }
}

void ZEMBrowserPane::WindowKey(QKeyCombination key)
{
    if (!ZEMIsWindowKey(key.key(), key.keyboardModifiers()))
        return;
    QWidget *top = window();
    const QKeySequence pressed(key);
    // A shortcut of the window's actions runs the action.
    for (QAction *action : top->findChildren<QAction *>()) {
        if (action->isEnabled() && action->shortcuts().contains(pressed)) {
            action->trigger();
            return;
        }
    }
    // F6 leaves the report for the window's next control (the viewer has handed the keyboard back).
    if (key.key() == Qt::Key_F6 && key.keyboardModifiers() == Qt::NoModifier) {
        top->activateWindow();
        if (engineWindow_ && engineWindow_->hasFocus())
            focusNextPrevChild(true);
        return;
    }
    // Alt and a menu's underlined letter opens the menu.
    if (auto *bar = top->findChild<QMenuBar *>()) {
        for (QAction *menu : bar->actions()) {
            if (menu->isEnabled() && menu->isVisible() && QKeySequence::mnemonic(menu->text()) == pressed) {
                top->activateWindow();
                bar->setFocus(Qt::ShortcutFocusReason);
                bar->setActiveAction(menu);
                return;
            }
        }
    }
}

void ZEMBrowserPane::EngineUrlChanged(const QUrl &url)
{
    if (url.isEmpty() || !ShowingEngine())
        return;
    engineUrl_ = url;
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

void ZEMBrowserPane::RunJavaScript(const QString &code, std::function<void(const QVariant &)> done)
{
    if (!viewer_)
        return;
    const int id = nextRequest_++;
    if (done)
        replies_[id] = [done = std::move(done)](const QJsonObject &event) {
            done(event.value(QStringLiteral("value")).toVariant());
        };
    Send({{QStringLiteral("cmd"), QStringLiteral("script")},
          {QStringLiteral("id"), id},
          {QStringLiteral("code"), code}});
}

void ZEMBrowserPane::PlainText(std::function<void(const QString &)> done)
{
    if (!viewer_)
        return;
    const int id = nextRequest_++;
    replies_[id] = [done = std::move(done)](const QJsonObject &event) { done(ZEMViewerText(event, "text")); };
    Send({{QStringLiteral("cmd"), QStringLiteral("plainText")}, {QStringLiteral("id"), id}});
}

void ZEMBrowserPane::showEvent(QShowEvent *event)
{
    QStackedWidget::showEvent(event);
    hiddenRelease_.stop();
    // The engine was ended while the window was hidden: its page comes back.
    if (ShowingEngine() && !viewer_ && index_ >= 0)
        Show(Url());
}

void ZEMBrowserPane::hideEvent(QHideEvent *event)
{
    QStackedWidget::hideEvent(event);
    if (viewer_)
        hiddenRelease_.start();
}

void ZEMBrowserPane::Stop() { Send(Command("stop")); }

void ZEMBrowserPane::Reload()
{
    if (ShowingEngine() && viewer_)
        Send(Command("reload"));
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
        Send(Command("copy"));
    else
        light_->copy();
}

void ZEMBrowserPane::SelectAll()
{
    if (ShowingEngine())
        Send(Command("selectAll"));
    else
        light_->selectAll();
}

void ZEMBrowserPane::Print()
{
    QPrinter printer(QPrinter::HighResolution);
    if (!printDialog_ || !printDialog_(printer))
        return;
    if (!ShowingEngine() || !viewer_) {
        light_->print(&printer);
        emit StatusTextChanged(QString());
        return;
    }
    // The viewer prints: a PDF file from the engine's own PDF output (the text stays text), anything else
    // on the printer chosen here, with the settings chosen here.
    QJsonObject command = ZEMPageLayoutToJson(printer.pageLayout(), printer.pageRanges());
    command.insert(QStringLiteral("cmd"), QStringLiteral("print"));
    if (printer.outputFormat() == QPrinter::PdfFormat)
        command.insert(QStringLiteral("pdf"), printer.outputFileName());
    command.insert(QStringLiteral("printer"), printer.printerName());
    command.insert(QStringLiteral("copies"), printer.copyCount());
    command.insert(QStringLiteral("color"), printer.colorMode() == QPrinter::Color);
    command.insert(QStringLiteral("duplex"), static_cast<int>(printer.duplex()));
    emit StatusTextChanged(tr("Printing..."));
    Send(command);
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
        Send({{QStringLiteral("cmd"), QStringLiteral("save")}, {QStringLiteral("path"), path}});
        return;
    }
    // A local page is saved as the file it is.
    QFile::remove(path);
    if (!QFile::copy(Url().toLocalFile(), path))
        emit StatusTextChanged(tr("Cannot save %1").arg(path));
}

void ZEMBrowserPane::AskDownload(const QJsonObject &event)
{
    QString path;
    if (picker_) {
        ZEMFileRequest request;
        request.title = tr("Save As");
        request.fileName = ZEMViewerText(event, "name");
        request.folder = ZEMViewerText(event, "folder");
        request.extension = QFileInfo(request.fileName).suffix();
        request.filter = tr("All files (*)");
        path = picker_->SaveFile(request);
    }
    if (!path.isEmpty())
        QFile::remove(path); // the picker asked about replacing it
    Send({{QStringLiteral("cmd"), QStringLiteral("download")},
          {QStringLiteral("id"), event.value(QStringLiteral("id"))},
          {QStringLiteral("path"), path}});
}
