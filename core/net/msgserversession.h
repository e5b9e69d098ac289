#ifndef MSGSERVERSESSION_H
#define MSGSERVERSESSION_H

#include "core/net/msglinebuffer.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QObject>
#include <QString>

class QTcpSocket;
class MsgLine;
class PortId;

Q_DECLARE_LOGGING_CATEGORY(lcServer)

// The server side of one panel connection: checks the login, answers the
// configuration lines the panel waits for before its start request, and turns
// the panel's port commands into signals. Every line in and out goes through
// MsgLine. What to report, and when, is left to the owner.
class MsgServerSession : public QObject
{
    Q_OBJECT

public:
    // Takes over `socket` (becomes its parent); reads lines with a length bound.
    explicit MsgServerSession(QTcpSocket *socket, QObject *parent = nullptr);
    ~MsgServerSession() override;

    // The login a panel must send; until it is set every login is refused.
    void setCredentials(const QString &user, const QString &password);
    void setMaxLineLength(int bytes); // default 64 KiB; a longer line drops this session only
    // Bytes that may wait unsent for a panel that reads nothing; beyond them
    // the session is dropped (after the caller's turn) rather than growing.
    void setMaxBacklog(qint64 bytes) { m_maxBacklog = bytes; }
    // Refuses every login, also a correct one (a server that takes no panels now).
    void setRefuseLogin(bool on) { m_refuseLogin = on; }
    // Answers a keep-alive with the same line, so a peer can tell how far its
    // lines have been handled; off by default.
    void setEchoKeepAlive(bool on) { m_echoKeepAlive = on; }
    // Reads and reports every line (lineReceived) but acts on none: a server
    // that has stopped answering.
    void setSilent(bool on) { m_silent = on; }
    // A panel sends a keep-alive and its login first. With a bound set, only
    // these are answered before the login (the keep-alive as setEchoKeepAlive
    // says: the panel counts the answers to its keep-alives from the first),
    // and any other line, or more than `bytes` before the login, closes the
    // session without a word, so a stranger gets next to nothing and costs
    // little. 0 (the default) answers every line, with "E4" before the login.
    void setLoginFirst(int bytes) { m_loginFirstBytes = qMax(0, bytes); }

    bool isLoggedIn() const { return m_loginAccepted; }
    bool isStarted() const { return m_startAccepted; } // a start request was accepted
    bool isClosed() const { return m_closedOnce; }
    QTcpSocket *socket() const { return m_sock; }

    void acceptStart(); // the owner accepts a start request; reports follow from the owner
    // One "P" line; false (nothing sent) before acceptStart() or after close().
    bool sendPort(const QString &object, int port, bool output, double value);
    // One "U" line: the port's value is unknown until its next "P" line. A
    // panel without the extension passes it over. False as for sendPort.
    bool sendUnknown(const PortId &port);
    void sendError(int code, const QString &text); // one "E" line
    // Bytes exactly as given, no framing: only for fault trials that must send
    // what the codec never produces (a line without its line feed).
    void sendRaw(const QByteArray &bytes);
    void close(); // disconnects; emits closed()

signals:
    void loggedIn();
    void loginRefused(); // the refusal has been sent; the session closes
    // "S" after a good login, also when repeated; answer with acceptStart()
    // and reports, or sendError(5, ...).
    void startRequested();
    // A "P" line from the panel, after login; valueText as the panel sent it.
    void portCommand(const QString &object, int port, bool output, double value, const QString &valueText);
    void lineReceived(const QByteArray &line); // every line, for logs and tests
    void lineTooLong();                        // emitted just before closed() for that reason
    void closed(const QString &reason);        // socket gone, line too long, refusal; emitted once

private:
    void onReadyRead();
    void handleLine(const QByteArray &line);
    void handleRequest(const MsgLine &request, const QByteArray &line);
    void write(const QByteArray &bytes);
    void finish(const QString &reason, bool flush);

    QTcpSocket *m_sock;
    MsgLineBuffer m_buffer;
    QString m_user;
    QString m_password;
    bool m_loginAccepted = false;
    bool m_startAccepted = false;
    bool m_closedOnce = false;
    bool m_credentialsSet = false;
    bool m_refuseLogin = false;
    bool m_echoKeepAlive = false;
    bool m_silent = false;
    bool m_overrun = false;
    int m_loginFirstBytes = 0;
    int m_bytesBeforeLogin = 0;
    qint64 m_maxBacklog = 16 * 1024 * 1024;
    int m_malformedLines = 0;
};

#endif // MSGSERVERSESSION_H
