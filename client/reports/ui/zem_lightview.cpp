#include "zem_lightview.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTextBlock>
#include <QTextDocument>
#include <vector>

namespace {
constexpr qint64 kMaxStyleSheetBytes = 256 * 1024;

// The value of attribute `name` in the text of one tag (`rel=stylesheet`, `href="a.css"`), without its
// quotes; empty when the tag has none. Read by hand: the idle program compiles no patterns.
QString AttributeOf(QStringView tag, QLatin1String name)
{
    for (qsizetype at = tag.indexOf(name, 0, Qt::CaseInsensitive); at > 0;
         at = tag.indexOf(name, at + 1, Qt::CaseInsensitive)) {
        if (!tag[at - 1].isSpace())
            continue;
        qsizetype i = at + name.size();
        while (i < tag.size() && tag[i].isSpace())
            ++i;
        if (i >= tag.size() || tag[i] != QLatin1Char('='))
            continue;
        ++i;
        while (i < tag.size() && tag[i].isSpace())
            ++i;
        if (i < tag.size() && (tag[i] == QLatin1Char('"') || tag[i] == QLatin1Char('\''))) {
            const qsizetype close = tag.indexOf(tag[i], i + 1);
            return close < 0 ? QString() : tag.mid(i + 1, close - i - 1).toString();
        }
        qsizetype end = i;
        while (end < tag.size() && !tag[end].isSpace() && tag[end] != QLatin1Char('/'))
            ++end;
        return tag.mid(i, end - i).toString();
    }
    return QString();
}

// The style sheets a page links ("<link rel=stylesheet href=...>"), read from beside the page: the
// text view does not fetch them itself.
QString LinkedStyleSheets(const QString &pagePath)
{
    QFile page(pagePath);
    if (!page.open(QIODevice::ReadOnly))
        return QString();
    const QString html = QString::fromUtf8(page.read(kMaxStyleSheetBytes));
    QString css;
    for (qsizetype at = html.indexOf(QLatin1String("<link"), 0, Qt::CaseInsensitive); at >= 0;
         at = html.indexOf(QLatin1String("<link"), at + 1, Qt::CaseInsensitive)) {
        const qsizetype end = html.indexOf(QLatin1Char('>'), at);
        if (end < 0)
            break;
        const QStringView tag = QStringView(html).mid(at, end - at);
        if (tag.size() > 5 && !tag[5].isSpace())
            continue; // "<linked", not "<link"
        const QString href = AttributeOf(tag, QLatin1String("href"));
        if (AttributeOf(tag, QLatin1String("rel")).compare(QLatin1String("stylesheet"), Qt::CaseInsensitive)
                != 0
            || href.isEmpty())
            continue;
        if (href.contains(QLatin1Char(':')))
            continue; // only sheets beside the page
        QFile sheet(QFileInfo(pagePath).dir().filePath(href));
        if (sheet.open(QIODevice::ReadOnly))
            css += QString::fromUtf8(sheet.read(kMaxStyleSheetBytes)) + QLatin1Char('\n');
    }
    return css;
}
class ZEMLightViewAccessible;

// One link of the page on the accessibility bus: role Link, its caption as name, "press" activates it.
class ZEMLinkAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    ZEMLinkAccessible(ZEMLightView *view, QAccessibleInterface *parent, int index)
        : view_(view), parent_(parent), index_(index)
    {
    }
    bool isValid() const override { return view_ && index_ < view_->Links().size(); }
    QObject *object() const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override { return parent_; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return QString();
        const ZEMLightView::Link link = view_->Links().at(index_);
        switch (t) {
        case QAccessible::Name:
            return link.caption;
        case QAccessible::Value:
            return link.href.toString();
        default:
            return QString();
        }
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        const ZEMLightView::Link link = view_->Links().at(index_);
        QTextCursor cursor(view_->document());
        cursor.setPosition(link.start);
        QRect area = view_->cursorRect(cursor);
        cursor.setPosition(link.end);
        area = area.united(view_->cursorRect(cursor));
        return QRect(view_->viewport()->mapToGlobal(area.topLeft()), area.size());
    }
    QAccessible::Role role() const override { return QAccessible::Link; }
    QAccessible::State state() const override
    {
        QAccessible::State st;
        st.focusable = true;
        st.linked = true;
        if (isValid()) {
            const ZEMLightView::Link link = view_->Links().at(index_);
            const QTextCursor cursor = view_->textCursor();
            st.focused = view_->hasFocus() && cursor.hasSelection() && cursor.selectionStart() == link.start
                         && cursor.selectionEnd() == link.end;
        }
        return st;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (name == pressAction() && isValid())
            view_->ActivateLink(view_->Links().at(index_).href);
    }
    QStringList keyBindingsForAction(const QString &) const override { return {QStringLiteral("Return")}; }

private:
    QPointer<ZEMLightView> view_;
    QAccessibleInterface *parent_;
    int index_;
};

// The view on the accessibility bus: a document named after the page's title whose children are the
// page's links (the text view alone shows none of them).
class ZEMLightViewAccessible : public QAccessibleWidget {
public:
    explicit ZEMLightViewAccessible(ZEMLightView *view) : QAccessibleWidget(view, QAccessible::Document) {}
    ~ZEMLightViewAccessible() override { Drop(); }

    int childCount() const override { return static_cast<int>(View()->Links().size()); }
    QAccessibleInterface *child(int index) const override
    {
        const int count = childCount();
        if (index < 0 || index >= count)
            return nullptr;
        auto *self = const_cast<ZEMLightViewAccessible *>(this);
        if (static_cast<int>(links_.size()) != count) {
            self->Drop();
            for (int i = 0; i < count; ++i) {
                auto *link = new ZEMLinkAccessible(View(), self, i);
                QAccessible::registerAccessibleInterface(link);
                self->links_.push_back(link);
            }
        }
        return links_[static_cast<std::size_t>(index)];
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (std::size_t i = 0; i < links_.size(); ++i)
            if (links_[i] == child)
                return static_cast<int>(i);
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (QAccessibleInterface *link = child(i); link->rect().contains(x, y))
                return link;
        return nullptr;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            const QString name = QAccessibleWidget::text(t);
            return name.isEmpty() ? View()->documentTitle() : name;
        }
        if (t == QAccessible::Value)
            return View()->toPlainText();
        return QAccessibleWidget::text(t);
    }
    // The link list changed (a new page): the old link interfaces go.
    void Drop()
    {
        for (ZEMLinkAccessible *link : links_)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(link));
        links_.clear();
    }

private:
    ZEMLightView *View() const { return static_cast<ZEMLightView *>(widget()); }
    std::vector<ZEMLinkAccessible *> links_;
};

QAccessibleInterface *LightViewAccessibleFactory(const QString &, QObject *object)
{
    if (auto *view = qobject_cast<ZEMLightView *>(object))
        return new ZEMLightViewAccessible(view);
    return nullptr;
}

} // namespace

ZEMLightView::ZEMLightView(QWidget *parent) : QTextBrowser(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(LightViewAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    // Tab and Shift+Tab move from link to link, Enter activates the one selected.
    setTextInteractionFlags(Qt::TextBrowserInteraction);
    setTabChangesFocus(false);
    connect(this, &QTextBrowser::anchorClicked, this, &ZEMLightView::ActivateLink);
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        if (QAccessible::isActive())
            if (auto *iface =
                    dynamic_cast<ZEMLightViewAccessible *>(QAccessible::queryAccessibleInterface(this)))
                iface->Drop();
    });
    // A link reached with the keyboard has the focus on the bus.
    connect(this, &QTextEdit::cursorPositionChanged, this, [this] {
        if (!QAccessible::isActive() || !hasFocus())
            return;
        const QTextCursor cursor = textCursor();
        const QList<Link> links = Links();
        for (int i = 0; i < links.size(); ++i) {
            if (cursor.selectionStart() == links[i].start && cursor.selectionEnd() == links[i].end) {
                QAccessibleEvent event(this, QAccessible::Focus);
                event.setChild(i);
                QAccessible::updateAccessibility(&event);
                return;
            }
        }
    });
}

void ZEMLightView::ActivateLink(const QUrl &link)
{
    // Command links ("tallyway:>>home") are kept as written; page links are made absolute.
    emit LinkActivated(link.isRelative() ? source().resolved(link) : link);
}

QList<ZEMLightView::Link> ZEMLightView::Links() const
{
    QList<Link> links;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || !fragment.charFormat().isAnchor())
                continue;
            const QString href = fragment.charFormat().anchorHref();
            if (href.isEmpty())
                continue;
            const int start = fragment.position();
            const int end = start + fragment.length();
            // A link split into fragments (bold inside it) stays one link.
            if (!links.isEmpty() && links.last().end == start && links.last().href == QUrl(href)) {
                links.last().caption += fragment.text();
                links.last().end = end;
                continue;
            }
            links.append({fragment.text(), QUrl(href), start, end});
        }
    }
    for (Link &link : links)
        link.caption = link.caption.simplified();
    return links;
}

bool ZEMLightView::IsLocalPage(const QUrl &url) { return url.isLocalFile(); }

void ZEMLightView::ShowPage(const QUrl &url)
{
    if (QFileInfo(url.toLocalFile()).isFile()) {
        document()->setDefaultStyleSheet(LinkedStyleSheets(url.toLocalFile()));
        setSource(url);
        return;
    }
    setHtml(QStringLiteral("<h2>This page cannot be shown</h2><p>The file <b>%1</b> does not exist.</p>")
                .arg(url.toLocalFile().toHtmlEscaped()));
}
