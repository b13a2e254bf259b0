#pragma once
// The server's own log: requests served, configuration changes, activations, limits reached.

#include "clock.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace devserver {

class LogBook {
public:
    static constexpr int kCapacity = 1000; // older lines are dropped
    // A longer line (stamp included) is cut to this length, its end replaced by a mark saying how many
    // characters were left out, so a full log stays within what a client reads in one reply.
    static constexpr int kMaxLineChars = 1000;

    explicit LogBook(const Clock *clock) : m_clock(clock) {}

    // Appends a line stamped with the clock's time. "<" and ">" become "[" and "]" so that no line can
    // close or open an element of the reply it is sent in; line breaks become spaces.
    void add(const QString &text);

    // The newest `count` lines (oldest first). Marks everything as delivered.
    QStringList newest(int count);
    // The lines added since the previous newest() or unread(). Marks everything as delivered.
    QStringList unread();

    int size() const { return int(m_lines.size()); }
    // Called with every line as it is added (the program writes them to stderr).
    void setEcho(std::function<void(const QString &)> echo) { m_echo = std::move(echo); }

private:
    struct Line {
        qint64 serial;
        QString text;
    };
    const Clock *m_clock;
    std::function<void(const QString &)> m_echo;
    QList<Line> m_lines;
    qint64 m_nextSerial = 1;
    qint64 m_delivered = 0; // serial of the newest delivered line
};

} // namespace devserver
