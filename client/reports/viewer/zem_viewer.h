#pragma once
// The browser engine's side of the report viewer: one engine view whose window the client embeds in its
// browser pane. Commands arrive as messages; what the page does goes back as events. Links to in-page
// commands and to the client's own pages never load here: they go back to the client, which acts on them.

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QWebEngineView>
#include <functional>
#include <map>

class QWebEngineDownloadRequest;
class QWindow;

class ZEMViewer : public QObject {
    Q_OBJECT

public:
    // `send` writes one event to the client.
    explicit ZEMViewer(std::function<void(const QJsonObject &)> send);
    ~ZEMViewer() override;

    // Registers the schemes of command and training-card links; before the application object exists.
    static void RegisterSchemes();

    void Handle(const QJsonObject &command);
    // Before the viewer ends: a keyboard in its window goes back to the client's window.
    void GiveBackKeyboard();
    // From the engine before each navigation: false cancels it.
    bool Navigation(const QUrl &url, bool isMainFrame);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Reparent();
    void Print(const QJsonObject &command);
    void Download(QWebEngineDownloadRequest *download);

    std::function<void(const QJsonObject &)> emit_;
    QWebEngineView view_;
    QPointer<QWindow> host_; // the client's window the view lives in
    WId top_ = 0;            // and the client's main window
    std::map<int, QPointer<QWebEngineDownloadRequest>> downloads_;
    int nextDownload_ = 1;
};
