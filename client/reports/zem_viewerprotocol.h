#pragma once
// Messages between the client and its report viewer, the separate program that runs the browser engine
// while a report is on screen. Each message is one JSON object on one line: commands go to the viewer's
// standard input ("cmd"), events come back on its standard output ("event").

#include <QByteArray>
#include <QJsonObject>
#include <QPageLayout>
#include <QPageRanges>
#include <QString>
#include <deque>
#include <optional>

// The longest line either side accepts: a page's whole text travels in one message.
inline constexpr qsizetype kViewerMaxLine = 32 * 1024 * 1024;

QByteArray ZEMViewerEncode(const QJsonObject &message);
// The text of `key` in a message (empty when it has none or another type).
inline QString ZEMViewerText(const QJsonObject &message, const char *key)
{
    return message.value(QLatin1String(key)).toString();
}

// Cuts a byte stream into messages. Once a line is longer than the bound or is not a JSON object the
// reader stops: the stream cannot be trusted past that point.
class ZEMViewerLineReader {
public:
    explicit ZEMViewerLineReader(qsizetype maxLine = kViewerMaxLine) : maxLine_(maxLine) {}
    // False once the stream is broken (Error() says why).
    bool Append(const QByteArray &bytes);
    std::optional<QJsonObject> Next();
    const QString &Error() const { return error_; }

private:
    qsizetype maxLine_;
    QByteArray pending_;
    std::deque<QJsonObject> ready_;
    QString error_;
};

// Keys pressed in the embedded report that belong to the client's window: its menus (Alt), function keys
// and its Ctrl shortcuts, but not the editing keys a page handles itself (Ctrl+A, C, F, V, X, Y, Z).
// The viewer sends these to the client instead of the page.
bool ZEMIsWindowKey(int key, Qt::KeyboardModifiers modifiers);

// Print settings as they travel to the viewer.
QJsonObject ZEMPageLayoutToJson(const QPageLayout &layout, const QPageRanges &ranges);
QPageLayout ZEMPageLayoutFromJson(const QJsonObject &json);
QPageRanges ZEMPageRangesFromJson(const QJsonObject &json);
