#include "tools/standins/msgserversim.h"

#include "core/net/msgline.h"
#include "core/net/msgserversession.h"

#include <QTcpSocket>

Q_LOGGING_CATEGORY(lcSim, "qalix.sim", QtInfoMsg)

namespace {

constexpr int loadTickInterval = 10;
constexpr int notReadyAnswerDelay = 200; // keeps a client that repeats "S" at once from spinning
constexpr int overlongLength = 70 * 1024;

} // namespace

MsgServerSim::MsgServerSim(QObject *parent)
    : QObject(parent)
{
    m_sinceCreated.start();
    m_sinceListen.start();
    connect(&m_server, &QTcpServer::newConnection, this, &MsgServerSim::onNewConnection);
    connect(&m_simulationTimer, &QTimer::timeout, this, &MsgServerSim::simulateStep);
    connect(&m_loadTimer, &QTimer::timeout, this, &MsgServerSim::onLoadTick);
    connect(&m_malformedTimer, &QTimer::timeout, this, &MsgServerSim::sendMalformed);
}

MsgServerSim::~MsgServerSim()
{
    close();
}

bool MsgServerSim::listen(const QHostAddress &address, quint16 port)
{
    if (!m_server.listen(address, port))
        return false;
    m_sinceListen.start();
    return true;
}

void MsgServerSim::close()
{
    m_server.close();
    const std::vector<MsgServerSession *> gone = m_sessions;
    for (MsgServerSession *session : gone) {
        session->socket()->abort();
        session->close(); // in case the abort went unnoticed
    }
}

void MsgServerSim::setCredentials(const QString &newUser, const QString &newPassword)
{
    m_user = newUser;
    m_password = newPassword;
    for (MsgServerSession *session : m_sessions)
        session->setCredentials(m_user, m_password);
}

void MsgServerSim::setRefuseLogin(bool on)
{
    m_refuseLogin = on;
    for (MsgServerSession *session : m_sessions)
        session->setRefuseLogin(on);
}

void MsgServerSim::setSilent(bool on)
{
    m_silent = on;
    for (MsgServerSession *session : m_sessions)
        session->setSilent(on);
}

void MsgServerSim::setReportRate(int perSecond)
{
    m_reportRate = qMax(0, perSecond);
    m_loadCredit = 0.0;
    if (m_reportRate > 0)
        m_loadTimer.start(loadTickInterval);
    else
        m_loadTimer.stop();
}

void MsgServerSim::setSimulationInterval(int msecs)
{
    if (msecs > 0)
        m_simulationTimer.start(msecs);
    else
        m_simulationTimer.stop();
}

void MsgServerSim::setMalformedInterval(int msecs)
{
    if (msecs > 0)
        m_malformedTimer.start(msecs);
    else
        m_malformedTimer.stop();
}

int MsgServerSim::startedCount() const
{
    int count = 0;
    for (const MsgServerSession *session : m_sessions)
        count += session->isStarted() ? 1 : 0;
    return count;
}

void MsgServerSim::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        auto *session = new MsgServerSession(socket, this);
        session->setCredentials(m_user, m_password);
        session->setRefuseLogin(m_refuseLogin);
        session->setSilent(m_silent);
        // Echoed, so a client can tell which of its lines has been handled.
        session->setEchoKeepAlive(true);
        m_sessions.push_back(session);
        connect(session, &MsgServerSession::lineReceived, this, &MsgServerSim::lineReceived);
        connect(session, &MsgServerSession::startRequested, this, [this, session] { handleStart(session); });
        connect(session, &MsgServerSession::portCommand, this,
                [this](const QString &object, int port, bool output, double value) {
                    handlePortCommand(object, port, output, value);
                });
        connect(session, &MsgServerSession::loginRefused, this,
                [] { qCInfo(lcSim).noquote() << "msgserver-sim: login refused"; });
        connect(session, &MsgServerSession::lineTooLong, this,
                [] { qCInfo(lcSim).noquote() << "msgserver-sim: client line too long, dropping the client"; });
        connect(session, &MsgServerSession::closed, this, [this, session] { removeSession(session); });
        emit clientConnected();
    }
}

void MsgServerSim::removeSession(MsgServerSession *session)
{
    for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it) {
        if (*it != session)
            continue;
        m_sessions.erase(it);
        session->disconnect(this);
        session->deleteLater();
        emit clientGone();
        return;
    }
}

void MsgServerSim::handleStart(MsgServerSession *session)
{
    if (m_sinceListen.elapsed() < m_readyAfter) {
        QTimer::singleShot(notReadyAnswerDelay, session, [session] { session->sendError(5, MsgLine::errorText(5)); });
        return;
    }
    const bool first = !session->isStarted();
    session->acceptStart();
    for (const SimPort &port : m_table.ports())
        reportTo(session, port);
    if (!first)
        return;
    emit clientStarted();

    if (m_dropAfter > 0) {
        QTimer::singleShot(m_dropAfter, session, [session] {
            qCInfo(lcSim).noquote() << "msgserver-sim: dropping a client";
            session->socket()->abort();
            session->close();
        });
    }
    if (m_overlongAfter > 0) {
        QTimer::singleShot(m_overlongAfter, session, [session] {
            qCInfo(lcSim).noquote() << "msgserver-sim: sending an over-long line";
            session->sendRaw(QByteArray(overlongLength, 'A'));
        });
    }
    if (m_burstOnStart > 0)
        sendBurst(m_burstOnStart);
}

void MsgServerSim::handlePortCommand(const QString &object, int port, bool output, double value)
{
    const PortId id(output ? PortId::Out : PortId::In, object, port);
    const QString address = id.toAddress();
    if (!id.isReportable()) {
        qCWarning(lcSim) << "port command for a port no report can carry:" << address;
        return;
    }
    SimPort *target = m_table.find(address);
    if (!target)
        target = m_table.add(address, Switch, value);
    target->value = value;
    target->unknown = false;
    emit portCommand(address, value);
    report(*target);
    if (target->kind == AllOff && value != 0.0) {
        const int master = m_table.indexOf(address);
        for (SimPort &other : m_table.ports()) {
            if (other.kind == Switch && other.value != 0.0) {
                other.value = 0.0;
                other.unknown = false;
                report(other);
            }
        }
        SimPort &self = m_table.ports()[size_t(master)];
        self.value = 0.0;
        report(self);
    }
}

void MsgServerSim::reportTo(MsgServerSession *session, const SimPort &port)
{
    if (port.unknown ? session->sendUnknown(port.id)
                     : session->sendPort(port.id.object(), port.id.port(), port.id.isOutput(), port.value))
        ++m_sentReports;
}

bool MsgServerSim::markUnknown(const QString &address)
{
    SimPort *port = m_table.find(address);
    if (!port)
        port = m_table.add(address, Switch, 0.0);
    if (!port)
        return false;
    port->unknown = true;
    report(*port);
    return true;
}

void MsgServerSim::report(const SimPort &port)
{
    if (m_silent)
        return;
    for (MsgServerSession *session : m_sessions)
        reportTo(session, port);
}

void MsgServerSim::sendBurst(int count)
{
    if (m_table.isEmpty())
        return;
    for (int i = 0; i < count; ++i) {
        SimPort &port = m_table.ports()[size_t(m_burstCounter % quint64(m_table.size()))];
        ++m_burstCounter;
        port.value = double(m_burstCounter);
        port.unknown = false;
        report(port);
    }
}

void MsgServerSim::onLoadTick()
{
    if (m_table.isEmpty())
        return;
    m_loadCredit += m_reportRate * (loadTickInterval / 1000.0);
    while (m_loadCredit >= 1.0) {
        m_loadCredit -= 1.0;
        report(m_table.ports()[size_t(m_loadCursor)]);
        m_loadCursor = (m_loadCursor + 1) % m_table.size();
    }
}

void MsgServerSim::simulateStep()
{
    m_table.step(m_sinceCreated.elapsed() / 1000.0, [this](const SimPort &port) { report(port); });
}

QByteArray MsgServerSim::malformedLines()
{
    QByteArray lines;
    // Reports and errors short of their fields, an unknown letter.
    for (const char *payload : {"", "OUT", "OUT.Kueche", "OUT.Kueche.1", "=1", "OUT.Kueche=1"})
        lines += MsgLine::frame('P', payload);
    for (const char *payload : {"", "5", "3"})
        lines += MsgLine::frame('E', payload);
    lines += MsgLine::frame('X', "garbage");
    // Lines of nothing but white space.
    for (const char *blank : {"", "\r", " \t "})
        lines += MsgLine::frameVerbatim(blank);
    // A NUL behind the letter, bytes that are no letter, a letter beyond Latin-1's ASCII part.
    lines += MsgLine::frame('P', QByteArray("\0OUT.Kueche.1=1", 15));
    lines += MsgLine::frame('\xff', "\xfeP");
    lines += MsgLine::frame('\xc3', "\xa4OUT.Kueche.1=1");
    return lines;
}

void MsgServerSim::sendMalformed()
{
    if (m_silent)
        return;
    const QByteArray lines = malformedLines();
    for (MsgServerSession *session : m_sessions) {
        if (session->isStarted())
            session->sendRaw(lines);
    }
}

void MsgServerSim::sendOverlong()
{
    for (MsgServerSession *session : m_sessions) {
        if (session->isStarted())
            session->sendRaw(QByteArray(overlongLength, 'A'));
    }
}
