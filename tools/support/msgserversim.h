#ifndef MSGSERVERSIM_H
#define MSGSERVERSIM_H

#include "core/net/msglinebuffer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTimer>

#include <memory>
#include <vector>

class QTcpSocket;

// A stand-in for the installation's message server, for the demo and for tests:
// it checks the login, answers the configuration lines, reports its ports after
// the start request, applies port commands and reports them back, lets inputs
// change over time, and can be told to misbehave.
class MsgServerSim : public QObject
{
    Q_OBJECT

public:
    enum Kind {
        Switch,      // changes only by port commands
        Temperature, // drifts slowly around its initial value
        Contact,     // opens and closes now and then
        Fixed,       // keeps its value unless commanded
        AllOff,      // a command other than 0 switches every switch off, then this port back to 0
    };

    struct SimPort {
        QString address; // direction "." object "." port, as on the wire
        Kind kind = Switch;
        double value = 0.0;
        double base = 0.0;
        double phase = 0.0;
    };

    explicit MsgServerSim(QObject *parent = nullptr);
    ~MsgServerSim() override;

    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 64401);
    QString errorString() const { return server.errorString(); }
    quint16 serverPort() const { return server.serverPort(); }
    bool isListening() const { return server.isListening(); }
    // Stops listening and drops every client.
    void close();

    // Reads a port list: one port a line, "IN.Aussen.1 temperature 8.5"; "#" starts
    // a comment. Returns false with a message naming the first bad line.
    bool loadPorts(const QString &text, QString *error);
    static bool parsePortLine(const QString &line, SimPort *port, QString *error);
    void addPort(const QString &address, Kind kind, double value);
    const std::vector<SimPort> &ports() const { return simPorts; }
    double value(const QString &address) const;
    static QString kindName(Kind kind);

    void setCredentials(const QString &user, const QString &password);
    void setRefuseLogin(bool on) { refuseLogin = on; }
    // "S" is answered with error 5 until this long after listen().
    void setReadyAfter(int msecs) { readyAfter = msecs; }
    // Reads everything, answers nothing.
    void setSilent(bool on) { silent = on; }
    // Drops each client this long after its start request; 0 never.
    void setDropAfter(int msecs) { dropAfter = msecs; }
    // Extra reports per second to every started client, cycling through the ports.
    void setReportRate(int perSecond);
    // Interval of the input simulation; 0 stops it.
    void setSimulationInterval(int msecs);
    // Every so often a batch of malformed lines to every started client; 0 never.
    void setMalformedInterval(int msecs);
    // An over-long line without line feed this long after each start request; 0 never.
    void setOverlongAfter(int msecs) { overlongAfter = msecs; }
    // Reports sent to each client right after its first start request.
    void setBurstOnStart(int count) { burstOnStart = count; }
    void setSeed(quint32 seed) { random.seed(seed); }

    // `count` reports to every started client, cycling through the ports, each
    // with a new value; afterwards value() holds the newest value of each port.
    void sendBurst(int count);
    void sendMalformed();
    void sendOverlong();
    // Changes inputs as one simulation step would.
    void simulateStep();

    int clientCount() const { return int(sessions.size()); }
    int startedCount() const;
    quint64 reportsSent() const { return sentReports; }

    static QByteArray malformedLines();

signals:
    void clientConnected();
    void clientStarted();
    void clientGone();
    void lineReceived(QByteArray line);
    void portCommand(QString address, double value);

private:
    struct Session;

    void onNewConnection();
    void onReadyRead(Session *session);
    void handleLine(Session *session, const QByteArray &line);
    void handleStart(Session *session);
    void handlePortCommand(Session *session, const QByteArray &payload);
    void send(Session *session, const QByteArray &line);
    void report(const SimPort &port);
    void reportTo(Session *session, const SimPort &port);
    void removeSession(Session *session);
    void onLoadTick();
    SimPort *findPort(const QString &address);

    QTcpServer server;
    std::vector<std::unique_ptr<Session>> sessions;
    std::vector<SimPort> simPorts;
    QMap<QString, int> portIndex;
    QString user = QStringLiteral("demo");
    QString password = QStringLiteral("demo");
    bool refuseLogin = false;
    bool silent = false;
    int readyAfter = 0;
    int dropAfter = 0;
    int overlongAfter = 0;
    int burstOnStart = 0;
    int reportRate = 0;
    double loadCredit = 0.0;
    int loadCursor = 0;
    quint64 burstCounter = 0;
    quint64 sentReports = 0;
    QElapsedTimer sinceListen;
    QElapsedTimer sinceCreated;
    QTimer simulationTimer;
    QTimer loadTimer;
    QTimer malformedTimer;
    QRandomGenerator random{4401};
};

#endif // MSGSERVERSIM_H
