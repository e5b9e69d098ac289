#ifndef MSGSERVERSIM_H
#define MSGSERVERSIM_H

#include "tools/standins/simporttable.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <vector>

class MsgServerSession;

Q_DECLARE_LOGGING_CATEGORY(lcSim)

// A stand-in for the installation's message server, for the demo and for tests:
// one MsgServerSession per panel does the protocol; this adds the ports, reports
// them after the start request, applies port commands and reports them back,
// lets inputs change over time, and can be told to misbehave.
class MsgServerSim : public QObject
{
    Q_OBJECT

public:
    using Kind = SimPortTable::Kind;
    using SimPort = SimPortTable::SimPort;
    static constexpr Kind Switch = SimPortTable::Switch;
    static constexpr Kind Temperature = SimPortTable::Temperature;
    static constexpr Kind Contact = SimPortTable::Contact;
    static constexpr Kind Fixed = SimPortTable::Fixed;
    static constexpr Kind AllOff = SimPortTable::AllOff;

    explicit MsgServerSim(QObject *parent = nullptr);
    ~MsgServerSim() override;

    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 64401);
    QString errorString() const { return server.errorString(); }
    quint16 serverPort() const { return server.serverPort(); }
    bool isListening() const { return server.isListening(); }
    // Stops listening and drops every client.
    void close();

    // Reads a port list (see SimPortTable::load).
    bool loadPorts(const QString &text, QString *error) { return table.load(text, error); }
    void addPort(const QString &address, Kind kind, double value) { table.add(address, kind, value); }
    const std::vector<SimPort> &ports() const { return table.ports(); }
    double value(const QString &address) const { return table.value(address); }

    // These apply to the clients already connected as well.
    void setCredentials(const QString &user, const QString &password);
    void setRefuseLogin(bool on);
    // Reads everything, answers nothing.
    void setSilent(bool on);

    // "S" is answered with error 5 until this long after listen().
    void setReadyAfter(int msecs) { readyAfter = msecs; }
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
    void setSeed(quint32 seed) { table.seed(seed); }

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

    // The lines of sendMalformed(): each one a panel must pass over.
    static QByteArray malformedLines();

signals:
    void clientConnected();
    void clientStarted();
    void clientGone();
    void lineReceived(QByteArray line);
    void portCommand(QString address, double value);

private:
    void onNewConnection();
    void handleStart(MsgServerSession *session);
    void handlePortCommand(const QString &object, int port, bool output, double value);
    void report(const SimPort &port);
    void reportTo(MsgServerSession *session, const SimPort &port);
    void removeSession(MsgServerSession *session);
    void onLoadTick();

    QTcpServer server;
    std::vector<MsgServerSession *> sessions;
    SimPortTable table;
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
};

#endif // MSGSERVERSIM_H
