#include "zem_viewer.h"

#include <QApplication>
#include <QGuiApplication>
#include <dlfcn.h>
#include <QFileInfo>
#include <QKeyEvent>
#include <QJsonArray>
#include <QPrinter>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWindow>
#include <memory>

#include "zem_pagecommands.h"
#include "zem_viewerprotocol.h"

namespace {

// The engine's page: asks the viewer before every navigation.
class ZEMViewerPage : public QWebEnginePage {
public:
    ZEMViewerPage(ZEMViewer &viewer, QObject *parent) : QWebEnginePage(parent), viewer_(viewer) {}

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override
    {
        return viewer_.Navigation(url, isMainFrame);
    }

private:
    ZEMViewer &viewer_;
};

// The engine only hands a link of a registered scheme to the page when a handler serves that scheme.
// The page catches the links before they load; a request that still arrives here is refused.
class ZEMRefusingSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob *job) override
    {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
    }
};

constexpr const char *kLinkSchemes[] = {kTrainingCardScheme, kPageCommandScheme};

} // namespace

void ZEMViewer::RegisterSchemes()
{
    // Reports may hold training-card and command links. They are caught before they load, so they only
    // need to be known as addresses a page may navigate to (not local ones, which a page from a server
    // may not open).
    for (const char *name : kLinkSchemes) {
        QWebEngineUrlScheme scheme(name);
        scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
        QWebEngineUrlScheme::registerScheme(scheme);
    }
}

ZEMViewer::ZEMViewer(std::function<void(const QJsonObject &)> send) : emit_(std::move(send))
{
    view_.setWindowFlag(Qt::FramelessWindowHint);
    view_.setAttribute(Qt::WA_ShowWithoutActivating);
    // On the application: keys reach the engine's own widgets, not the view; the view's own events come too.
    qApp->installEventFilter(this);
    view_.setPage(new ZEMViewerPage(*this, &view_));
    QWebEngineProfile *profile = view_.page()->profile();
    auto *refuse = new ZEMRefusingSchemeHandler(this);
    for (const char *name : kLinkSchemes)
        profile->installUrlSchemeHandler(name, refuse);

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
    view_.page()->scripts().insert(printStyle);

    connect(&view_, &QWebEngineView::urlChanged, this, [this](const QUrl &url) {
        emit_({{QStringLiteral("event"), QStringLiteral("urlChanged")},
               {QStringLiteral("url"), url.toString()}});
    });
    connect(&view_, &QWebEngineView::loadStarted, this, [this] {
        emit_({{QStringLiteral("event"), QStringLiteral("loadStarted")},
               {QStringLiteral("url"), view_.url().toString()}});
    });
    connect(&view_, &QWebEngineView::loadProgress, this, [this](int percent) {
        emit_({{QStringLiteral("event"), QStringLiteral("loadProgress")},
               {QStringLiteral("percent"), percent}});
    });
    connect(&view_, &QWebEngineView::loadFinished, this, [this](bool ok) {
        emit_({{QStringLiteral("event"), QStringLiteral("loadFinished")}, {QStringLiteral("ok"), ok}});
    });
    connect(&view_, &QWebEngineView::titleChanged, this, [this](const QString &title) {
        emit_({{QStringLiteral("event"), QStringLiteral("title")}, {QStringLiteral("text"), title}});
    });
    connect(view_.page(), &QWebEnginePage::linkHovered, this, [this](const QString &url) {
        emit_({{QStringLiteral("event"), QStringLiteral("linkHovered")}, {QStringLiteral("url"), url}});
    });
    connect(profile, &QWebEngineProfile::downloadRequested, this, &ZEMViewer::Download);
    connect(&view_, &QWebEngineView::printFinished, this, [this](bool ok) {
        emit_({{QStringLiteral("event"), QStringLiteral("printed")}, {QStringLiteral("ok"), ok}});
    });
    connect(view_.page(), &QWebEnginePage::pdfPrintingFinished, this, [this](const QString &, bool ok) {
        emit_({{QStringLiteral("event"), QStringLiteral("printed")}, {QStringLiteral("ok"), ok}});
    });
}

ZEMViewer::~ZEMViewer() = default;

namespace {
// Gives the keyboard to X window `window` now. The toolkit's own request carries the time of the last
// event this program saw, which the display ignores when a later change of focus (one made in the
// client) exists; the display's current time always counts. The calls come from the X library the
// toolkit has loaded already.
void FocusWindow(WId window)
{
    auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !window)
        return;
    struct Cookie {
        unsigned int sequence;
    };
    using SetInputFocus = Cookie (*)(xcb_connection_t *, quint8, quint32, quint32);
    using Flush = int (*)(xcb_connection_t *);
    static const auto setInputFocus =
        reinterpret_cast<SetInputFocus>(dlsym(RTLD_DEFAULT, "xcb_set_input_focus"));
    static const auto flush = reinterpret_cast<Flush>(dlsym(RTLD_DEFAULT, "xcb_flush"));
    if (!setInputFocus || !flush)
        return;
    constexpr quint8 kRevertToParent = 2;
    constexpr quint32 kCurrentTime = 0;
    setInputFocus(x11->connection(), kRevertToParent, static_cast<quint32>(window), kCurrentTime);
    flush(x11->connection());
}
} // namespace

void ZEMViewer::GiveBackKeyboard()
{
    // The display would leave the keyboard nowhere once this window is gone; the client's window gets it.
    if (top_ && QGuiApplication::focusWindow())
        FocusWindow(top_);
}

void ZEMViewer::Reparent()
{
    if (host_ && view_.windowHandle() && view_.windowHandle()->parent() != host_) {
        view_.windowHandle()->setParent(host_);
        view_.windowHandle()->setPosition(0, 0);
    }
}

bool ZEMViewer::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        // The window's own keys pressed over the report go to the client, which runs them.
        const auto *key = static_cast<QKeyEvent *>(event);
        if (ZEMIsWindowKey(key->key(), key->modifiers())) {
            // F6 leaves the report: the keyboard goes back to the client while this program may give it.
            if (event->type() == QEvent::KeyPress && key->key() == Qt::Key_F6)
                GiveBackKeyboard();
            if (event->type() == QEvent::KeyPress && !key->isAutoRepeat())
                emit_({{QStringLiteral("event"), QStringLiteral("key")},
                       {QStringLiteral("key"), key->key()},
                       {QStringLiteral("modifiers"), static_cast<int>(key->modifiers())}});
            event->accept();
            return true;
        }
    }
    // The toolkit recreates the view's window when the engine's surface needs another kind: the new
    // one goes into the client's window too.
    if (watched == &view_ && event->type() == QEvent::WinIdChange)
        QMetaObject::invokeMethod(this, &ZEMViewer::Reparent, Qt::QueuedConnection);
    return QObject::eventFilter(watched, event);
}

bool ZEMViewer::Navigation(const QUrl &url, bool isMainFrame)
{
    if (const std::optional<QString> command = PageCommandOf(url)) {
        emit_({{QStringLiteral("event"), QStringLiteral("command")}, {QStringLiteral("text"), *command}});
        return false;
    }
    // The client's own pages show in its light view.
    if (isMainFrame && url.isLocalFile()) {
        emit_({{QStringLiteral("event"), QStringLiteral("local")}, {QStringLiteral("url"), url.toString()}});
        return false;
    }
    return true;
}

void ZEMViewer::Handle(const QJsonObject &command)
{
    const QString cmd = ZEMViewerText(command, "cmd");
    if (cmd == QLatin1String("navigate")) {
        view_.setUrl(QUrl(ZEMViewerText(command, "url")));
    } else if (cmd == QLatin1String("embed")) {
        // The view's window becomes a child of the client's window; a window the toolkit recreates later
        // (the engine's surface may ask for that) is made under the same parent.
        if (!host_) {
            host_ = QWindow::fromWinId(static_cast<WId>(ZEMViewerText(command, "window").toULongLong()));
            top_ = static_cast<WId>(ZEMViewerText(command, "top").toULongLong());
        }
        view_.setGeometry(0, 0, command.value(QStringLiteral("width")).toInt(),
                          command.value(QStringLiteral("height")).toInt());
        view_.winId();
        Reparent();
        view_.show();
    } else if (cmd == QLatin1String("focus")) {
        FocusWindow(view_.winId());
        view_.setFocus(Qt::TabFocusReason);
    } else if (cmd == QLatin1String("resize")) {
        view_.resize(command.value(QStringLiteral("width")).toInt(),
                     command.value(QStringLiteral("height")).toInt());
    } else if (cmd == QLatin1String("show")) {
        // Where windows cannot be embedded the report gets a window of its own.
        view_.setWindowFlag(Qt::FramelessWindowHint, false);
        view_.setWindowTitle(ZEMViewerText(command, "title"));
        view_.resize(900, 700);
        view_.show();
    } else if (cmd == QLatin1String("stop")) {
        view_.stop();
    } else if (cmd == QLatin1String("reload")) {
        view_.reload();
    } else if (cmd == QLatin1String("copy")) {
        view_.triggerPageAction(QWebEnginePage::Copy);
    } else if (cmd == QLatin1String("selectAll")) {
        view_.triggerPageAction(QWebEnginePage::SelectAll);
    } else if (cmd == QLatin1String("print")) {
        Print(command);
    } else if (cmd == QLatin1String("save")) {
        view_.page()->save(ZEMViewerText(command, "path"), QWebEngineDownloadRequest::SingleHtmlSaveFormat);
    } else if (cmd == QLatin1String("script")) {
        const int id = command.value(QStringLiteral("id")).toInt();
        view_.page()->runJavaScript(ZEMViewerText(command, "code"), [this, id](const QVariant &value) {
            emit_({{QStringLiteral("event"), QStringLiteral("scriptResult")},
                   {QStringLiteral("id"), id},
                   {QStringLiteral("value"), QJsonValue::fromVariant(value)}});
        });
    } else if (cmd == QLatin1String("plainText")) {
        const int id = command.value(QStringLiteral("id")).toInt();
        view_.page()->toPlainText([this, id](const QString &text) {
            emit_({{QStringLiteral("event"), QStringLiteral("plainText")},
                   {QStringLiteral("id"), id},
                   {QStringLiteral("text"), text}});
        });
    } else if (cmd == QLatin1String("download")) {
        const auto found = downloads_.find(command.value(QStringLiteral("id")).toInt());
        if (found == downloads_.end())
            return;
        QPointer<QWebEngineDownloadRequest> download = found->second;
        downloads_.erase(found);
        if (!download)
            return;
        const QString path = ZEMViewerText(command, "path");
        if (path.isEmpty()) {
            download->cancel();
            return;
        }
        const QFileInfo target(path);
        download->setDownloadDirectory(target.absolutePath());
        download->setDownloadFileName(target.fileName());
        connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, download, path] {
            if (!download)
                return;
            emit_({{QStringLiteral("event"), QStringLiteral("downloaded")},
                   {QStringLiteral("path"), path},
                   {QStringLiteral("ok"), download->state() == QWebEngineDownloadRequest::DownloadCompleted},
                   {QStringLiteral("reason"), download->interruptReasonString()}});
        });
        download->accept();
    }
}

void ZEMViewer::Print(const QJsonObject &command)
{
    const QPageLayout layout = ZEMPageLayoutFromJson(command);
    const QString pdf = ZEMViewerText(command, "pdf");
    if (!pdf.isEmpty()) {
        // A PDF file comes from the engine's own PDF output, which keeps the text as text.
        view_.page()->printToPdf(pdf, layout, ZEMPageRangesFromJson(command));
        return;
    }
    // The engine prints in the background; the printer lives until it is done.
    auto *printer = new QPrinter(QPrinter::HighResolution);
    printer->setPrinterName(ZEMViewerText(command, "printer"));
    printer->setPageLayout(layout);
    printer->setPageRanges(ZEMPageRangesFromJson(command));
    printer->setCopyCount(qMax(1, command.value(QStringLiteral("copies")).toInt()));
    printer->setColorMode(command.value(QStringLiteral("color")).toBool() ? QPrinter::Color
                                                                          : QPrinter::GrayScale);
    printer->setDuplex(static_cast<QPrinter::DuplexMode>(command.value(QStringLiteral("duplex")).toInt()));
    connect(
        &view_, &QWebEngineView::printFinished, this, [printer] { delete printer; },
        Qt::SingleShotConnection);
    view_.print(printer);
}

void ZEMViewer::Download(QWebEngineDownloadRequest *download)
{
    if (download->page() != view_.page())
        return;
    if (download->isSavePageDownload()) {
        download->accept();
        return;
    }
    // Where to save it is the client's question (its file picker); the answer comes as "download".
    const int id = nextDownload_++;
    downloads_[id] = download;
    emit_({{QStringLiteral("event"), QStringLiteral("downloadAsk")},
           {QStringLiteral("id"), id},
           {QStringLiteral("name"), download->downloadFileName()},
           {QStringLiteral("folder"), download->downloadDirectory()}});
}
