#ifndef QALIXMSGCLIENT_H
#define QALIXMSGCLIENT_H

#include "core/net/downreason.h"
#include "core/net/msgline.h"
#include "core/net/msglinebuffer.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

// The link to the installation's message server: keeps one TCP connection open,
// logs in, configures the server, decodes its port reports and sends port commands.
//
// Live: what counts as "up" for everything that judges whether the values
// shown are current (the wall panel's stale look). A TCP connection alone is
// not: a server whose back end is down may accept and drop, or log in and
// then drop, every few seconds. A connection becomes live once, on that
// connection, the server has accepted the login ("L" "OK") and after that
//   - a port report ("P") has arrived, or
//   - the server has answered a keep-alive ("N") that was sent after the
//     latest start request ("S"). A server handles a connection's lines in
//     order, so this answer shows that it took the start request without
//     refusing it with error 5; it is how a server with nothing to report yet
//     proves itself. Answers are counted: the n-th "N" received answers the
//     n-th "N" sent, and one "N" goes out before the login.
// A report that a port's value is unknown ("U") proves it as a report does.
// Error 5, configuration answers and any other line are no proof. A live
// connection stays live until it ends (closed by either side, reset, or a new
// attempt); then liveChanged(false) comes at once.
//
// While it is not live the client keeps why (downReason()): a refused login,
// a server it cannot reach, one that does not answer, one that ended the
// connection. Each change of that kind writes one line on standard error, so
// a server refusing every attempt costs one line, not one every 5 s.
class QalixMsgClient : public QObject
{
    Q_OBJECT

public:
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    static constexpr int tickInterval = 1000;
    static constexpr qint64 keepAliveAfter = 20000;
    static constexpr qint64 silenceLimit = 60000;
    static constexpr qint64 retryReference = 50000;
    static constexpr int waitForDisconnect = 1000;
    static constexpr int waitForConnect = 3000;
    // Bytes that may wait unsent for a server that does not read; beyond
    // them the connection is reset as for an over-long line.
    static constexpr qint64 maxUnsentBytes = 64 * 1024;

    // Where and how to connect. The defaults are the panel's: the message
    // server's port, bus mode on, debug mode off, never blocking.
    struct Settings
    {
        QString host;
        int port = 64401;
        QString userName;
        QString password;
        bool debugMode = false;
        bool busMode = true;
        // Wait for disconnections and connections (up to 1 s and 3 s).
        bool waitForConnection = false;
    };

    explicit QalixMsgClient(const Settings &settings, QObject *parent = nullptr);
    ~QalixMsgClient() override;

    void connectToServer();
    void sendCommand(char command, QByteArray payload);
    void setPortValue(QString object, int port, bool output, double value);
    void setRawMode(bool on);

    const Settings &settings() const { return m_settings; }
    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    QAbstractSocket::SocketState state() const { return m_socket.state(); }
    // What the server has confirmed, and how far the start-up got.
    bool rawMode() const { return m_rawMode; }
    bool debugConfirmed() const { return m_debugConfirmed; }
    bool busConfirmed() const { return m_busConfirmed; }
    bool isStarted() const { return m_started; }
    bool isLoggedIn() const { return m_loggedIn; }
    // The connection has proven the server live (see the class comment).
    bool isLive() const { return m_live; }
    // Why the connection is not live; None while it is, and before the first attempt ends.
    const DownReason &downReason() const { return m_downReason; }
    // With the probe on, a keep-alive follows the start requests of each read
    // until the connection is live, so a live server with nothing to report shows
    // itself within one round trip instead of at the next keep-alive (20 s).
    void setStartProbe(bool on) { m_startProbe = on; }
    // The last port command or keep-alive, and the last data or the
    // reference of the last connection attempt, on the clock.
    qint64 lastSent() const { return m_lastSent; }
    qint64 lastReceived() const { return m_lastReceived; }

    // Replaces the clock (tests) and restarts both time references as at construction.
    void setClock(Clock clock);
    qint64 now() const { return m_clock(); }
    // The one-second tick (keep-alive, silence check) runs from construction;
    // a test that drives onTimeout() itself switches it off.
    void setTicking(bool on);

public slots:
    void onData();
    void onTimeout();
    void onConnected();
    void onError(QAbstractSocket::SocketError err);

signals:
    void received(QString object, int port, bool output, double value);
    // A "U" line: the server does not know the port's value until its next report.
    void receivedUnknown(QString object, int port, bool output);
    // The socket's state changed; isConnected() tells whether it is up.
    void stateChanged(QAbstractSocket::SocketState state);
    // isLive() changed.
    void liveChanged(bool live);
    // downReason() changed its kind.
    void downReasonChanged(const DownReason &reason);
    void infoMsgReceived(QMap<QString, QString> info);
    void rawBusDataReceived(QByteArray brr);
    void error(QString error);

private:
    // Reaches into the socket and the start-up state.
    friend class TestQalixMsgClient;

    void handleLine(const MsgLine &line);
    // Resets the connection with `why` on standard error; the next attempt
    // comes on the regular retry time, not at once.
    void dropConnection(const QString &why);
    // False, and the connection reset, when `bytes` more would pass maxUnsentBytes.
    bool roomFor(qint64 bytes);
    void sendStart();
    void sendProbe();
    // A new connection, or none: nothing proven on it yet.
    void resetLiveness();
    void setLive(bool live);
    // `reason` as the latest, written on standard error unless its kind has
    // been written since the connection was last live (or `said` already).
    void setDownReason(const DownReason &reason, bool said = false);
    // Before an attempt ends the one in hand: what it got to.
    void judgeAbandonedAttempt();

    Settings m_settings;
    bool m_rawMode = false;
    bool m_debugConfirmed = false;
    bool m_busConfirmed = false;
    bool m_debugAnswered = false;
    bool m_busAnswered = false;
    bool m_started = false;
    bool m_loggedIn = true;
    qint64 m_lastSent = 0;
    qint64 m_lastReceived = 0;
    QTcpSocket m_socket;
    QTimer m_timer;

    Clock m_clock;
    // Before this time connectToServer() starts no attempt (set by a reset).
    qint64 m_retryNotBefore;
    MsgLineBuffer m_lineBuffer;
    quint64 m_connection = 0; // counts connection attempts, so parsing stops when one begins

    bool m_live = false;
    bool m_startProbe = false;
    bool m_probeDue = false;
    // On the current connection: the login accepted, keep-alives sent and
    // answered, and how many had been sent when the latest "S" went out.
    bool m_loginAccepted = false;
    qint64 m_keepAlivesSent = 0;
    qint64 m_keepAlivesAnswered = 0;
    qint64 m_keepAlivesBeforeStart = 0;

    DownReason m_downReason;
    DownReason::Kind m_toldKind = DownReason::None;
    qint64 m_attemptAt = 0;
};

#endif // QALIXMSGCLIENT_H
