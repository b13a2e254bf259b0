#include "logbook.h"

namespace devserver {

void LogBook::add(const QString &text)
{
    QString line = m_clock->now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + text;
    line.replace(u'<', u'[').replace(u'>', u']').replace(u'\n', u' ').replace(u'\r', u' ');
    if (line.size() > kMaxLineChars) {
        // The mark is at most 40 characters long (its count has at most 19 digits).
        const qsizetype kept = kMaxLineChars - 40;
        line = line.left(kept) + QStringLiteral("... [%1 characters cut]").arg(line.size() - kept);
    }
    if (m_echo)
        m_echo(line);
    m_lines.append({m_nextSerial++, line});
    if (m_lines.size() > kCapacity)
        m_lines.remove(0, m_lines.size() - kCapacity);
}

QStringList LogBook::newest(int count)
{
    QStringList result;
    for (qsizetype i = std::max<qsizetype>(0, m_lines.size() - count); i < m_lines.size(); ++i)
        result << m_lines[i].text;
    m_delivered = m_nextSerial - 1;
    return result;
}

QStringList LogBook::unread()
{
    QStringList result;
    for (const Line &line : m_lines) {
        if (line.serial > m_delivered)
            result << line.text;
    }
    m_delivered = m_nextSerial - 1;
    return result;
}

} // namespace devserver
