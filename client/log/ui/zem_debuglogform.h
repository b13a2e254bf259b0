#pragma once
// The "Client log" window: a running list of the client's own exchanges with the server. Lines are
// appended whether or not the window is shown, the newest selected and scrolled to the top; nothing is
// stored on disk and there is no limit on the number of lines.

#include <QPointer>
#include <QStringList>
#include <functional>
#include <QWidget>

class QAction;
class QListWidget;
class QMenu;

class TZEMDebugLogForm : public QWidget {
    Q_OBJECT

public:
    // `anchor` is the window below which the log is placed the first time it is shown.
    explicit TZEMDebugLogForm(QWidget *anchor = nullptr);

    void SetAnchor(QWidget *anchor) { anchor_ = anchor; }

    // Appends prefix + text as the new last line, selects it and makes it the first visible line.
    void ClientLog(const QString &prefix, const QString &text);
    // As ClientLog, the text made from a printf-like format (%s takes UTF-8 text, %d an int).
    void ClientLogFormat(const QString &prefix, const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;

    // Where the window's frame goes on its first show: right below the anchor's frame and as wide as
    // it, moved and shrunk as far as needed to lie wholly inside `available` (the free area of the
    // anchor's screen; empty: no bound).
    static QRect FirstPlace(const QRect &anchorFrame, int frameHeight, const QRect &available);

    QStringList Lines() const;
    QString SelectedLine() const;
    bool FirstShow() const { return firstShow_; }

    QListWidget *lbxLog = nullptr;
    QMenu *pmLog = nullptr;
    QAction *actTextBox = nullptr;
    QAction *actCopy = nullptr;

    // Opens a line in a text window; tests replace it to avoid the modal window.
    std::function<void(const QString &)> showText;

signals:
    // The window was shown or hidden (the main window's check mark follows it).
    void visibilityChanged(bool visible);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void UpdateActions();
    void TextBoxExecute();
    void CopyExecute();

    QPointer<QWidget> anchor_;
    bool firstShow_ = true;
};
