#include "tools/support/msgserversim.h"

#include "core/net/msgline.h"

#include <QDebug>
#include <QPointer>
#include <QTcpSocket>
#include <QtMath>

struct MsgServerSim::Session {
    QPointer<QTcpSocket> socket;
    MsgLineBuffer buffer;
    bool loggedIn = false;
    bool started = false;
    bool everStarted = false;
};

namespace {

constexpr int loadTickInterval = 10;
constexpr int notReadyAnswerDelay = 200; // keeps a client that repeats "S" at once from spinning
constexpr int overlongLength = 70 * 1024;

const struct {
    const char *name;
    MsgServerSim::Kind kind;
} kindNames[] = {
    {"switch", MsgServerSim::Switch},
    {"temperature", MsgServerSim::Temperature},
    {"contact", MsgServerSim::Contact},
    {"fixed", MsgServerSim::Fixed},
    {"alloff", MsgServerSim::AllOff},
};

QByteArray errorLine(int code, const char *text)
{
    return "E" + QByteArray::number(code) + "=" + text + "\n";
}

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
    while (!sessions.empty())
        removeSession(sessions.back().get());
}

void MsgServerSim::setCredentials(const QString &newUser, const QString &newPassword)
{
    user = newUser;
    password = newPassword;
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

QString MsgServerSim::kindName(Kind kind)
{
    for (const auto &k : kindNames) {
        if (k.kind == kind)
            return QLatin1String(k.name);
    }
    return QString();
}

bool MsgServerSim::parsePortLine(const QString &text, SimPort *port, QString *error)
{
    const QStringList fields = text.simplified().split(QLatin1Char(' '));
    if (fields.size() < 2 || fields.size() > 3) {
        *error = QStringLiteral("expected: address kind [value]");
        return false;
    }
    const QStringList address = fields.at(0).split(QLatin1Char('.'));
    bool numberOk = false;
    if (address.size() != 3 || (address.at(0) != QLatin1String("IN") && address.at(0) != QLatin1String("OUT"))
        || address.at(1).isEmpty() || address.at(2).toInt(&numberOk) < 0 || !numberOk) {
        *error = QStringLiteral("address must be IN.object.number or OUT.object.number: %1").arg(fields.at(0));
        return false;
    }
    bool kindOk = false;
    for (const auto &k : kindNames) {
        if (fields.at(1) == QLatin1String(k.name)) {
            port->kind = k.kind;
            kindOk = true;
        }
    }
    if (!kindOk) {
        *error = QStringLiteral("unknown kind %1 (switch, temperature, contact, fixed, alloff)").arg(fields.at(1));
        return false;
    }
    port->value = 0.0;
    if (fields.size() == 3) {
        bool valueOk = false;
        port->value = fields.at(2).toDouble(&valueOk);
        if (!valueOk) {
            *error = QStringLiteral("value is not a number: %1").arg(fields.at(2));
            return false;
        }
    }
    port->address = fields.at(0);
    port->base = port->value;
    return true;
}

bool MsgServerSim::loadPorts(const QString &text, QString *error)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    std::vector<SimPort> loaded;
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        const int hash = line.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            line.truncate(hash);
        if (line.trimmed().isEmpty())
            continue;
        SimPort port;
        QString why;
        if (!parsePortLine(line, &port, &why)) {
            *error = QStringLiteral("line %1: %2").arg(i + 1).arg(why);
            return false;
        }
        loaded.push_back(port);
    }
    for (const SimPort &port : loaded)
        addPort(port.address, port.kind, port.value);
    return true;
}

void MsgServerSim::addPort(const QString &address, Kind kind, double value)
{
    if (SimPort *existing = findPort(address)) {
        existing->kind = kind;
        existing->value = existing->base = value;
        return;
    }
    SimPort port;
    port.address = address;
    port.kind = kind;
    port.value = port.base = value;
    port.phase = random.bounded(2.0 * M_PI);
    portIndex.insert(address, int(simPorts.size()));
    simPorts.push_back(port);
}

MsgServerSim::SimPort *MsgServerSim::findPort(const QString &address)
{
    const auto it = portIndex.constFind(address);
    return it == portIndex.constEnd() ? nullptr : &simPorts[size_t(*it)];
}

double MsgServerSim::value(const QString &address) const
{
    const auto it = portIndex.constFind(address);
    return it == portIndex.constEnd() ? 0.0 : simPorts[size_t(*it)].value;
}

int MsgServerSim::startedCount() const
{
    int count = 0;
    for (const auto &session : sessions)
        count += session->started ? 1 : 0;
    return count;
}

void MsgServerSim::onNewConnection()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        auto session = std::make_unique<Session>();
        session->socket = socket;
        Session *raw = session.get();
        sessions.push_back(std::move(session));
        connect(socket, &QTcpSocket::readyRead, this, [this, raw] { onReadyRead(raw); });
        connect(socket, &QTcpSocket::disconnected, this, [this, raw] { removeSession(raw); });
        emit clientConnected();
    }
}

void MsgServerSim::removeSession(Session *session)
{
    for (auto it = sessions.begin(); it != sessions.end(); ++it) {
        if (it->get() != session)
            continue;
        std::unique_ptr<Session> gone = std::move(*it);
        sessions.erase(it);
        if (gone->socket) {
            gone->socket->disconnect(this);
            gone->socket->abort();
            gone->socket->deleteLater();
        }
        emit clientGone();
        return;
    }
}

void MsgServerSim::onReadyRead(Session *session)
{
    QTcpSocket *socket = session->socket;
    while (socket && socket->bytesAvailable() > 0) {
        session->buffer.append(socket->read(session->buffer.maxLineLength()));
        QByteArray line;
        while (session->buffer.takeLine(&line)) {
            handleLine(session, line.trimmed());
            // The line may have ended the session.
            bool alive = false;
            for (const auto &s : sessions)
                alive = alive || s.get() == session;
            if (!alive)
                return;
        }
        if (session->buffer.overflowed()) {
            qInfo().noquote() << "msgserver-sim: client line too long, dropping the client";
            removeSession(session);
            return;
        }
    }
}

void MsgServerSim::send(Session *session, const QByteArray &line)
{
    if (session->socket)
        session->socket->write(line);
}

void MsgServerSim::handleLine(Session *session, const QByteArray &line)
{
    emit lineReceived(line);
    if (silent)
        return;
    const char letter = line.isEmpty() ? '\0' : line.at(0);
    const QByteArray payload = line.mid(1);
    switch (letter) {
    case 'N':
        // Echoed, so a client can tell which of its lines has been handled.
        send(session, "N" + payload + "\n");
        return;
    case 'L': {
        const int eq = payload.indexOf('=');
        const QString u = QString::fromLatin1(payload.left(eq < 0 ? payload.size() : eq));
        const QString p = eq < 0 ? QString() : QString::fromLatin1(payload.mid(eq + 1));
        session->loggedIn = !refuseLogin && eq >= 0 && u == user && p == password;
        send(session, session->loggedIn ? "LOK\n" : "LDENIED\n");
        return;
    }
    case 'C':
        if (!session->loggedIn) {
            send(session, errorLine(4, "You are not permited to do that"));
        } else if (payload.startsWith('T')) {
            send(session, "C" + payload + "\n");
        } else if (payload.size() == 1 && QByteArray("DdBbRr").contains(payload.at(0))) {
            send(session, "C" + payload + "\n");
        } else {
            send(session, errorLine(1, "Configuration not possible"));
        }
        return;
    case 'S':
        handleStart(session);
        return;
    case 'P':
        handlePortCommand(session, payload);
        return;
    default:
        send(session, errorLine(2, "Command not found"));
        return;
    }
}

void MsgServerSim::handleStart(Session *session)
{
    if (!session->loggedIn) {
        send(session, errorLine(4, "You are not permited to do that"));
        return;
    }
    if (sinceListen.elapsed() < readyAfter) {
        QPointer<QTcpSocket> socket = session->socket;
        QTimer::singleShot(notReadyAnswerDelay, socket, [socket] {
            socket->write(errorLine(5, "MsgServer not inited, wait a bit"));
        });
        return;
    }
    const bool first = !session->everStarted;
    session->started = session->everStarted = true;
    for (const SimPort &port : simPorts)
        reportTo(session, port);
    if (!first)
        return;
    emit clientStarted();

    QPointer<QTcpSocket> socket = session->socket;
    if (dropAfter > 0) {
        QTimer::singleShot(dropAfter, socket, [socket] {
            qInfo().noquote() << "msgserver-sim: dropping a client";
            socket->abort();
        });
    }
    if (overlongAfter > 0) {
        QTimer::singleShot(overlongAfter, socket, [socket] {
            qInfo().noquote() << "msgserver-sim: sending an over-long line";
            socket->write(QByteArray(overlongLength, 'A'));
        });
    }
    if (burstOnStart > 0)
        sendBurst(burstOnStart);
}

void MsgServerSim::handlePortCommand(Session *session, const QByteArray &payload)
{
    if (!session->loggedIn) {
        send(session, errorLine(4, "You are not permited to do that"));
        return;
    }
    const int eq = payload.indexOf('=');
    const QString address = QString::fromLatin1(payload.left(eq));
    const QStringList fields = address.split(QLatin1Char('.'));
    bool portOk = false;
    bool valueOk = false;
    const double v = eq < 0 ? 0.0 : payload.mid(eq + 1).toDouble(&valueOk);
    if (eq < 0 || fields.size() != 3 || fields.at(1).isEmpty() || !valueOk
        || (fields.at(0) != QLatin1String("OUT") && fields.at(0) != QLatin1String("IN"))
        || fields.at(2).toInt(&portOk) < 0 || !portOk) {
        send(session, errorLine(2, "Command not found"));
        return;
    }
    SimPort *port = findPort(address);
    if (!port) {
        addPort(address, Switch, v);
        port = findPort(address);
    }
    port->value = v;
    emit portCommand(address, v);
    report(*port);
    if (port->kind == AllOff && v != 0.0) {
        const int master = portIndex.value(address);
        for (SimPort &other : simPorts) {
            if (other.kind == Switch && other.value != 0.0) {
                other.value = 0.0;
                report(other);
            }
        }
        // The report above may have added nothing, but keep to the index, not the pointer.
        SimPort &self = simPorts[size_t(master)];
        self.value = 0.0;
        report(self);
    }
}

void MsgServerSim::reportTo(Session *session, const SimPort &port)
{
    if (!session->started || !session->socket)
        return;
    QByteArray line;
    line.reserve(port.address.size() + 16);
    line += 'P';
    line += port.address.toLatin1();
    line += '=';
    line += MsgLine::formatValue(port.value);
    line += '\n';
    session->socket->write(line);
    ++sentReports;
}

void MsgServerSim::report(const SimPort &port)
{
    if (silent)
        return;
    for (const auto &session : sessions)
        reportTo(session.get(), port);
}

void MsgServerSim::sendBurst(int count)
{
    if (simPorts.empty())
        return;
    for (int i = 0; i < count; ++i) {
        SimPort &port = simPorts[size_t(burstCounter % simPorts.size())];
        ++burstCounter;
        port.value = double(burstCounter);
        report(port);
    }
}

void MsgServerSim::onLoadTick()
{
    if (simPorts.empty())
        return;
    loadCredit += reportRate * (loadTickInterval / 1000.0);
    while (loadCredit >= 1.0) {
        loadCredit -= 1.0;
        report(simPorts[size_t(loadCursor)]);
        loadCursor = (loadCursor + 1) % int(simPorts.size());
    }
}

void MsgServerSim::simulateStep()
{
    const double seconds = sinceCreated.elapsed() / 1000.0;
    for (SimPort &port : simPorts) {
        double next = port.value;
        if (port.kind == Temperature) {
            // About two degrees up and down within two minutes, in tenths.
            next = qRound((port.base + 2.0 * qSin(seconds * 2.0 * M_PI / 120.0 + port.phase)) * 10.0) / 10.0;
        } else if (port.kind == Contact) {
            if (random.bounded(8) == 0)
                next = port.value == 0.0 ? 1.0 : 0.0;
        }
        if (next != port.value) {
            port.value = next;
            report(port);
        }
    }
}

QByteArray MsgServerSim::malformedLines()
{
    static const char lines[] =
        "P\n"
        "POUT\n"
        "POUT.Kueche\n"
        "POUT.Kueche.1\n"
        "P=1\n"
        "POUT.Kueche=1\n"
        "E\n"
        "E5\n"
        "E3\n"
        "Xgarbage\n"
        "\n"
        "\r\n"
        " \t \n"
        "P\0OUT.Kueche.1=1\n"
        "\xff\xfeP\n"
        "\xc3\xa4OUT.Kueche.1=1\n";
    return QByteArray(lines, int(sizeof(lines) - 1));
}

void MsgServerSim::sendMalformed()
{
    if (silent)
        return;
    const QByteArray lines = malformedLines();
    for (const auto &session : sessions) {
        if (session->started && session->socket)
            session->socket->write(lines);
    }
}

void MsgServerSim::sendOverlong()
{
    for (const auto &session : sessions) {
        if (session->started && session->socket)
            session->socket->write(QByteArray(overlongLength, 'A'));
    }
}
