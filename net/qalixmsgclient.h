#ifndef QALIXMSGCLIENT_H
#define QALIXMSGCLIENT_H

#include "net/msgline.h"
#include "net/msglinebuffer.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

// The link to the installation's message server: keeps one TCP connection open,
// logs in, configures the server, decodes its port reports and sends port commands.
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

    QalixMsgClient(QString host, int port, bool debugMode, bool busMode, QString userName,
                   QString password, bool waitForConnection, QObject *parent = nullptr);
    ~QalixMsgClient() override;

    void connectToServer();
    void sendCommand(char command, QByteArray payload);
    void setPortValue(QString object, int port, bool output, double value);
    void setRawMode(bool on);

    // Replaces the clock (tests) and restarts both time references as at construction.
    void setClock(Clock clock);
    qint64 now() const { return clock(); }

    bool debugMode;
    bool busMode;
    bool rawMode = false;
    bool debugConfirmed = false;
    bool busConfirmed = false;
    bool debugAnswered = false;
    bool busAnswered = false;
    bool started = false;
    bool loggedIn = true;
    bool waitForConnection;
    qint64 lastSent = 0;     // last port command or keep-alive
    qint64 lastReceived = 0; // last data, or the reference of the last connection attempt
    QString host;
    int port;
    QString userName;
    QString password;
    // The owner reads the connection state from here.
    QTcpSocket socket;
    QTimer timer;

public slots:
    void onData();
    void onTimeout();
    void onConnected();
    void onError(QAbstractSocket::SocketError err);

signals:
    void received(QString object, int port, bool output, double value);
    void infoMsgReceived(QMap<QString, QString> info);
    void rawBusDataReceived(QByteArray brr);
    void error(QString error);

private:
    void handleLine(const MsgLine &line);
    void dropConnection();

    Clock clock;
    // Before this time connectToServer() starts no attempt (set by an over-long line).
    qint64 retryNotBefore;
    MsgLineBuffer lineBuffer;
    quint64 connection = 0; // counts connection attempts, so parsing stops when one begins
};

#endif // QALIXMSGCLIENT_H
