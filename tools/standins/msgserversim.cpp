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
    sinceCreated.start();
    sinceListen.start();
    connect(&server, &QTcpServer::newConnection, this, &MsgServerSim::onNewConnection);
    connect(&simulationTimer, &QTimer::timeout, this, &MsgServerSim::simulateStep);
    connect(&loadTimer, &QTimer::timeout, this, &MsgServerSim::onLoadTick);
    connect(&malformedTimer, &QTimer::timeout, this, &MsgServerSim::sendMalformed);
}

MsgServerSim::~MsgServerSim()
{
    close();
}

bool MsgServerSim::listen(const QHostAddress &address, quint16 port)
{
    if (!server.listen(address, port))
        return false;
    sinceListen.start();
    return true;
}

void MsgServerSim::close()
{
    server.close();
    const std::vector<MsgServerSession *> gone = sessions;
    for (MsgServerSession *session : gone) {
        session->socket()->abort();
        session->close(); // in case the abort went unnoticed
    }
}

void MsgServerSim::setCredentials(const QString &newUser, const QString &newPassword)
{
    user = newUser;
    password = newPassword;
    for (MsgServerSession *session : sessions)
        session->setCredentials(user, password);
}

void MsgServerSim::setRefuseLogin(bool on)
{
    refuseLogin = on;
    for (MsgServerSession *session : sessions)
        session->setRefuseLogin(on);
}

void MsgServerSim::setSilent(bool on)
{
    silent = on;
    for (MsgServerSession *session : sessions)
        session->setSilent(on);
}

void MsgServerSim::setReportRate(int perSecond)
{
    reportRate = qMax(0, perSecond);
    loadCredit = 0.0;
    if (reportRate > 0)
        loadTimer.start(loadTickInterval);
    else
        loadTimer.stop();
}

void MsgServerSim::setSimulationInterval(int msecs)
{
    if (msecs > 0)
        simulationTimer.start(msecs);
    else
        simulationTimer.stop();
}

void MsgServerSim::setMalformedInterval(int msecs)
{
    if (msecs > 0)
        malformedTimer.start(msecs);
    else
        malformedTimer.stop();
}

int MsgServerSim::startedCount() const
{
    int count = 0;
    for (const MsgServerSession *session : sessions)
        count += session->isStarted() ? 1 : 0;
    return count;
}

void MsgServerSim::onNewConnection()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        auto *session = new MsgServerSession(socket, this);
        session->setCredentials(user, password);
        session->setRefuseLogin(refuseLogin);
        session->setSilent(silent);
        // Echoed, so a client can tell which of its lines has been handled.
        session->setEchoKeepAlive(true);
        sessions.push_back(session);
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
    for (auto it = sessions.begin(); it != sessions.end(); ++it) {
        if (*it != session)
            continue;
        sessions.erase(it);
        session->disconnect(this);
        session->deleteLater();
        emit clientGone();
        return;
    }
}

void MsgServerSim::handleStart(MsgServerSession *session)
{
    if (sinceListen.elapsed() < readyAfter) {
        QTimer::singleShot(notReadyAnswerDelay, session, [session] { session->sendError(5, MsgLine::errorText(5)); });
        return;
    }
    const bool first = !session->isStarted();
    session->acceptStart();
    for (const SimPort &port : table.ports())
        reportTo(session, port);
    if (!first)
        return;
    emit clientStarted();

    if (dropAfter > 0) {
        QTimer::singleShot(dropAfter, session, [session] {
            qCInfo(lcSim).noquote() << "msgserver-sim: dropping a client";
            session->socket()->abort();
            session->close();
        });
    }
    if (overlongAfter > 0) {
        QTimer::singleShot(overlongAfter, session, [session] {
            qCInfo(lcSim).noquote() << "msgserver-sim: sending an over-long line";
            session->sendRaw(QByteArray(overlongLength, 'A'));
        });
    }
    if (burstOnStart > 0)
        sendBurst(burstOnStart);
}

void MsgServerSim::handlePortCommand(const QString &object, int port, bool output, double value)
{
    const PortId id(output ? PortId::Out : PortId::In, object, port);
    const QString address = id.toAddress();
    if (!id.isReportable()) {
        qCWarning(lcSim) << "port command for a port no report can carry:" << address;
        return;
    }
    SimPort *target = table.find(address);
    if (!target)
        target = table.add(address, Switch, value);
    target->value = value;
    emit portCommand(address, value);
    report(*target);
    if (target->kind == AllOff && value != 0.0) {
        const int master = table.indexOf(address);
        for (SimPort &other : table.ports()) {
            if (other.kind == Switch && other.value != 0.0) {
                other.value = 0.0;
                report(other);
            }
        }
        SimPort &self = table.ports()[size_t(master)];
        self.value = 0.0;
        report(self);
    }
}

void MsgServerSim::reportTo(MsgServerSession *session, const SimPort &port)
{
    if (session->sendPort(port.id.object(), port.id.port(), port.id.isOutput(), port.value))
        ++sentReports;
}

void MsgServerSim::report(const SimPort &port)
{
    if (silent)
        return;
    for (MsgServerSession *session : sessions)
        reportTo(session, port);
}

void MsgServerSim::sendBurst(int count)
{
    if (table.isEmpty())
        return;
    for (int i = 0; i < count; ++i) {
        SimPort &port = table.ports()[size_t(burstCounter % quint64(table.size()))];
        ++burstCounter;
        port.value = double(burstCounter);
        report(port);
    }
}

void MsgServerSim::onLoadTick()
{
    if (table.isEmpty())
        return;
    loadCredit += reportRate * (loadTickInterval / 1000.0);
    while (loadCredit >= 1.0) {
        loadCredit -= 1.0;
        report(table.ports()[size_t(loadCursor)]);
        loadCursor = (loadCursor + 1) % table.size();
    }
}

void MsgServerSim::simulateStep()
{
    table.step(sinceCreated.elapsed() / 1000.0, [this](const SimPort &port) { report(port); });
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
    if (silent)
        return;
    const QByteArray lines = malformedLines();
    for (MsgServerSession *session : sessions) {
        if (session->isStarted())
            session->sendRaw(lines);
    }
}

void MsgServerSim::sendOverlong()
{
    for (MsgServerSession *session : sessions) {
        if (session->isStarted())
            session->sendRaw(QByteArray(overlongLength, 'A'));
    }
}
