#include "htmlhelputils.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWidget>

#include "zem_artwork.h"
#include "zem_lightview.h"
#include "zem_prompt.h"

ZEMHelpTopic ParseHelpTopic(const QString &topic)
{
    ZEMHelpTopic result;
    QString rest = topic.trimmed();
    const qsizetype windowAt = rest.indexOf(QLatin1Char('>'));
    if (windowAt >= 0) {
        result.windowType = rest.mid(windowAt + 1).trimmed();
        rest = rest.left(windowAt);
    }
    if (rest.startsWith(QLatin1String("::")))
        rest.remove(0, 2);
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (rest.startsWith(QLatin1Char('/')))
        rest.remove(0, 1);
    const qsizetype anchorAt = rest.indexOf(QLatin1Char('#'));
    if (anchorAt >= 0) {
        result.anchor = rest.mid(anchorAt + 1);
        rest = rest.left(anchorAt);
    }
    result.page = rest;
    return result;
}

QString HelpPagePath(const QString &helpRoot, const ZEMHelpTopic &topic)
{
    // Pages never reach outside the help root, whatever the topic says.
    const QString cleaned = QDir::cleanPath(topic.page);
    if (cleaned.isEmpty() || cleaned.startsWith(QLatin1String("..")) || QDir::isAbsolutePath(cleaned))
        return QString();
    return QDir(helpRoot).filePath(cleaned);
}

std::optional<int> TrainingCardCommand(const QUrl &url)
{
    if (url.scheme().compare(QLatin1String(kTrainingCardScheme), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    QString text = url.path();
    while (text.startsWith(QLatin1Char('/')))
        text.remove(0, 1);
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    bool ok = false;
    const int command = text.toInt(&ok);
    if (!ok)
        return std::nullopt;
    return command;
}

QRect HelpWindowRectFor(const QRect &screen)
{
    const int left = screen.left() + screen.width() / 3;
    const int top = screen.top() + 30;
    const int right = screen.left() + screen.width();
    const int bottom = screen.top() + screen.height() - 30;
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

namespace {

QString WindowCaption(const QString &windowType)
{
    if (windowType == QLatin1String(kHelpWindowAssistant))
        return QStringLiteral("Tallyway Assistant");
    return QStringLiteral("Tallyway GUI Help");
}

QRect AssistantRectFor(const QRect &screen)
{
    // A narrow window at the right edge, beside the dialogs it explains.
    const int width = std::max(320, screen.width() / 4);
    const int height = std::max(360, screen.height() * 3 / 5);
    return QRect(screen.left() + screen.width() - width - 20, screen.top() + 60, width, height);
}
} // namespace

ZEMHtmlHelp::ZEMHtmlHelp(QString helpRoot, ZEMPrompt &prompt, QRect helpWindowRect, QObject *parent)
    : ZEMHelpSystem(parent), helpRoot_(std::move(helpRoot)), prompt_(prompt), helpWindowRect_(helpWindowRect)
{
}

ZEMHtmlHelp::~ZEMHtmlHelp()
{
    for (const QPointer<QWidget> &window : std::as_const(windows_))
        delete window.data();
}

bool ZEMHtmlHelp::Available() const
{
    return QFileInfo(QDir(helpRoot_).filePath(QStringLiteral("HTML"))).isDir();
}

void ZEMHtmlHelp::ShowHelp(const QString &topic)
{
    const ZEMHelpTopic parsed = ParseHelpTopic(topic);
    Open(parsed, parsed.windowType.isEmpty() ? QString::fromLatin1(kHelpWindowMain) : parsed.windowType);
}

void ZEMHtmlHelp::ShowAssistant(const QString &topic)
{
    const ZEMHelpTopic parsed = ParseHelpTopic(topic);
    Open(parsed, parsed.windowType.isEmpty() ? QString::fromLatin1(kHelpWindowAssistant) : parsed.windowType);
}

void ZEMHtmlHelp::HideHelpWindow(const QString &windowType)
{
    if (!Available()) {
        prompt_.Stop(QString::fromLatin1(kHelpMissingText));
        return;
    }
    if (QWidget *window = Window(windowType))
        window->hide();
}

QWidget *ZEMHtmlHelp::Window(const QString &windowType) const { return windows_.value(windowType).data(); }

ZEMLightView *ZEMHtmlHelp::View(const QString &windowType) const
{
    QWidget *window = Window(windowType);
    return window ? window->findChild<ZEMLightView *>() : nullptr;
}

void ZEMHtmlHelp::LinkActivated(ZEMLightView *view, const QUrl &url)
{
    // Training-card links drive the program; other links open in the same window.
    if (const std::optional<int> command = TrainingCardCommand(url)) {
        emit TrainingCard(*command, 0);
        return;
    }
    if (url.isLocalFile())
        view->setSource(url);
}

QWidget *ZEMHtmlHelp::EnsureWindow(const QString &windowType)
{
    if (QWidget *existing = Window(windowType))
        return existing;
    auto *window = new QWidget(nullptr, Qt::Window);
    window->setObjectName(QStringLiteral("help_") + windowType);
    window->setWindowTitle(WindowCaption(windowType));
    window->setWindowIcon(ZEMArtIcon(QStringLiteral("tallyview")));
    auto *view = new ZEMLightView(window);
    connect(view, &ZEMLightView::LinkActivated, this,
            [this, view](const QUrl &url) { LinkActivated(view, url); });
    auto *bar = new QToolBar(window);
    bar->setIconSize(QSize(16, 16));
    QAction *back =
        bar->addAction(ZEMArtIcon(QStringLiteral("back")), tr("Back"), view, &QTextBrowser::backward);
    QAction *forward =
        bar->addAction(ZEMArtIcon(QStringLiteral("forward")), tr("Forward"), view, &QTextBrowser::forward);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(view, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(view, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    QAction *contents = bar->addAction(ZEMArtIcon(QStringLiteral("home")), tr("Contents"));
    connect(contents, &QAction::triggered, this,
            [this] { ShowHelp(QString::fromLatin1(kTopicIntroduction)); });
    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(view, 1);

    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    if (windowType == QLatin1String(kHelpWindowMain))
        window->setGeometry(helpWindowRect_.isValid() ? helpWindowRect_ : HelpWindowRectFor(available));
    else
        window->setGeometry(AssistantRectFor(available));
    if (windowType == QLatin1String(kHelpWindowAssistant))
        window->setWindowFlag(Qt::WindowStaysOnTopHint);
    windows_.insert(windowType, window);
    return window;
}

void ZEMHtmlHelp::Open(const ZEMHelpTopic &topic, const QString &windowType)
{
    if (!Available()) {
        prompt_.Stop(QString::fromLatin1(kHelpMissingText));
        return;
    }
    QWidget *window = EnsureWindow(windowType);
    QUrl url = QUrl::fromLocalFile(HelpPagePath(helpRoot_, topic));
    if (!topic.anchor.isEmpty())
        url.setFragment(topic.anchor);
    if (ZEMLightView *view = View(windowType))
        view->ShowPage(url);
    window->show();
    window->raise();
    window->activateWindow();
}
