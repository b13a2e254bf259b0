#pragma once
// Scripted faults: the next replies of a request kind go wrong in a chosen way, so that clients can be
// tested against a misbehaving server.

#include <QList>
#include <QMap>
#include <QString>

#include <optional>

namespace devserver {

enum class FaultMode {
    Error,     // the kind's root element with a non-zero ERROR_CODE and ERROR_MESSAGE; nothing is applied
    Warning,   // the normal reply with a WARNING_MESSAGE beside the payload
    Exception, // an EXCEPTION document instead of the reply; nothing is applied
    Empty,     // the connection is closed without a byte
    Garbage,   // a status line followed by bytes that hold no element
    Cut,       // the reply is cut inside an element, then the connection is closed
    Reset,     // the connection is reset (RST) without a reply
    Drip,      // the reply is sent a few bytes at a time
    Hang,      // the reply is sent and the connection is never closed by the server
};

struct Fault {
    QString kind; // request kind it applies to, see requestKindMatches()
    FaultMode mode = FaultMode::Error;
    int count = 1; // replies it applies to; -1: every reply until cleared
    int code = 99; // Error, Exception
    QString message = QStringLiteral("Fault injected by the development server");
    int chunkBytes = 3;  // Drip
    int intervalMs = 20; // Drip

    // True for the modes that change what the request does or answers, false for transport faults
    // (the request is carried out and only its delivery goes wrong).
    bool changesReply() const;
};

QString faultModeName(FaultMode mode);
std::optional<FaultMode> faultModeFromName(const QString &name);

// A fault for kind K applies to request kind R when K is "*", K equals R, or R begins with K and a dot
// (so "cpm_configuration" covers "cpm_configuration.get" and "cpm_configuration.set").
bool requestKindMatches(const QString &faultKind, const QString &requestKind);

class FaultBook {
public:
    // Adds a fault from control parameters: kind, mode, count, code, message, bytes, interval.
    bool add(const QMap<QString, QString> &params, QString *error);
    // Adds the faults of a JSON file: [{"kind": ..., "mode": ..., "count": ..., ...}, ...], at most
    // 1 MiB. Either every fault of the file is added or, on an error, none.
    bool loadFile(const QString &path, QString *error);
    bool loadJson(const QByteArray &json, QString *error);
    // Takes the first pending fault that applies to `requestKind`, counting it down.
    std::optional<Fault> take(const QString &requestKind);
    void clear() { m_faults.clear(); }
    const QList<Fault> &pending() const { return m_faults; }

private:
    QList<Fault> m_faults;
};

} // namespace devserver
