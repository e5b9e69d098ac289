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
    QString errorString() const { return m_server.errorString(); }
    quint16 serverPort() const { return m_server.serverPort(); }
    bool isListening() const { return m_server.isListening(); }
    // Stops listening and drops every client.
    void close();

    // Reads a port list (see SimPortTable::load).
    bool loadPorts(const QString &text, QString *error) { return m_table.load(text, error); }
    void addPort(const QString &address, Kind kind, double value) { m_table.add(address, kind, value); }
    const std::vector<SimPort> &ports() const { return m_table.ports(); }
    double value(const QString &address) const { return m_table.value(address); }

    // These apply to the clients already connected as well.
    void setCredentials(const QString &user, const QString &password);
    void setRefuseLogin(bool on);
    // Reads everything, answers nothing.
    void setSilent(bool on);

    // "S" is answered with error 5 until this long after listen().
    void setReadyAfter(int msecs) { m_readyAfter = msecs; }
    // Drops each client this long after its start request; 0 never.
    void setDropAfter(int msecs) { m_dropAfter = msecs; }
    // Extra reports per second to every started client, cycling through the ports.
    void setReportRate(int perSecond);
    // Interval of the input simulation; 0 stops it.
    void setSimulationInterval(int msecs);
    // Every so often a batch of malformed lines to every started client; 0 never.
    void setMalformedInterval(int msecs);
    // An over-long line without line feed this long after each start request; 0 never.
    void setOverlongAfter(int msecs) { m_overlongAfter = msecs; }
    // Reports sent to each client right after its first start request.
    void setBurstOnStart(int count) { m_burstOnStart = count; }
    void setSeed(quint32 seed) { m_table.seed(seed); }

    // `count` reports to every started client, cycling through the ports, each
    // with a new value; afterwards value() holds the newest value of each port.
    void sendBurst(int count);
    // The port's value is unknown (a "U" line to every started client, and to
    // each that starts) until it next changes; a port the list lacks is
    // added as a switch. False for an address no report can carry.
    bool markUnknown(const QString &address);
    void sendMalformed();
    void sendOverlong();
    // Changes inputs as one simulation step would.
    void simulateStep();

    int clientCount() const { return int(m_sessions.size()); }
    int startedCount() const;
    quint64 reportsSent() const { return m_sentReports; }

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

    QTcpServer m_server;
    std::vector<MsgServerSession *> m_sessions;
    SimPortTable m_table;
    QString m_user = QStringLiteral("demo");
    QString m_password = QStringLiteral("demo");
    bool m_refuseLogin = false;
    bool m_silent = false;
    int m_readyAfter = 0;
    int m_dropAfter = 0;
    int m_overlongAfter = 0;
    int m_burstOnStart = 0;
    int m_reportRate = 0;
    double m_loadCredit = 0.0;
    int m_loadCursor = 0;
    quint64 m_burstCounter = 0;
    quint64 m_sentReports = 0;
    QElapsedTimer m_sinceListen;
    QElapsedTimer m_sinceCreated;
    QTimer m_simulationTimer;
    QTimer m_loadTimer;
    QTimer m_malformedTimer;
};

#endif // MSGSERVERSIM_H
