#ifndef DOWNREASON_H
#define DOWNREASON_H

#include <QString>
#include <QCoreApplication>

// Why the panel has no live connection to its message server, as far as it
// can tell. Each reason has its line for standard error (English) and its
// words for the operator (German, in the stale banner); a refused login, a
// server that cannot be reached and one that does not answer call for
// different hands.
class DownReason
{
    Q_DECLARE_TR_FUNCTIONS(DownReason)

public:
    enum Kind {
        None,         // live, or nothing tried yet
        LoginRefused, // the server answered the login with a refusal
        Unreachable,  // refused, no route, no such host
        NoAnswer,     // no connection, no login answer or nothing received in time
        Dropped,      // the server ended the connection, or it was reset for its lines
    };

    DownReason() = default;
    explicit DownReason(Kind kind, QString detail = QString());

    Kind kind() const { return m_kind; }
    // What the socket or the watch said, for the line: "Connection refused".
    const QString &detail() const { return m_detail; }

    // "Anmeldung abgelehnt", "Server nicht erreichbar", "Keine Antwort vom
    // Server", "Verbindung unterbrochen"; empty for None.
    QString operatorText() const;
    // One line for standard error, naming the server ("host:port") and, for
    // a refused login, the user; empty for None.
    QString line(const QString &server, const QString &user) const;

    bool operator==(const DownReason &other) const { return m_kind == other.m_kind && m_detail == other.m_detail; }
    bool operator!=(const DownReason &other) const { return !(*this == other); }

private:
    Kind m_kind = None;
    QString m_detail;
};

#endif // DOWNREASON_H
