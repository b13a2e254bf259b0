#pragma once
// A light HTML view for the program's own pages (the welcome page, help pages): a text browser that
// shows local files without starting the browser engine. It follows no link itself: every activated
// link is handed out, resolved against the page shown, to whoever owns the view.

#include <QTextBrowser>
#include <QUrl>

class ZEMLightView : public QTextBrowser {
    Q_OBJECT

public:
    explicit ZEMLightView(QWidget *parent = nullptr);
    // Shows a local page; a missing file shows a short page that says so.
    void ShowPage(const QUrl &url);
    // Whether a page is one for this view (a local file).
    static bool IsLocalPage(const QUrl &url);

    // The links of the page shown, in document order: caption, address as written, and where the
    // link's text lies in the document (for the accessibility bus, which lists them as links).
    struct Link {
        QString caption;
        QUrl href;
        int start = 0;
        int end = 0;
    };
    QList<Link> Links() const;
    // Activates a link as Enter or a click on it does.
    void ActivateLink(const QUrl &href);

signals:
    void LinkActivated(const QUrl &url);
};
