#include "net/qalixmsgclient.h"

#include <QDebug>

#include <chrono>
#include <limits>

namespace {

qint64 monotonicMsecs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Bytes the socket takes from the system for one ready-read. onData drains
// them completely; the bound keeps a burst from the server from holding the
// event loop (and the window) for longer than a few thousand reports.
constexpr qint64 socketBufferLimit = 64 * 1024;

} // namespace

QalixMsgClient::QalixMsgClient(QString host, int port, bool debugMode, bool busMode, QString userName,
                               QString password, bool waitForConnection, QObject *parent)
    : QObject(parent)
    , debugMode(debugMode)
    , busMode(busMode)
    , waitForConnection(waitForConnection)
    , host(host)
    , port(port)
    , userName(userName)
    , password(password)
    , clock(monotonicMsecs)
    , retryNotBefore(std::numeric_limits<qint64>::min())
{
    qDebug() << "Message Connection" << host << port << userName << password;

    connect(&socket, &QTcpSocket::connected, this, &QalixMsgClient::onConnected);
    connect(&socket, &QTcpSocket::errorOccurred, this, &QalixMsgClient::onError);
    connect(&socket, &QTcpSocket::readyRead, this, &QalixMsgClient::onData);
    connect(&timer, &QTimer::timeout, this, &QalixMsgClient::onTimeout);
    socket.setReadBufferSize(socketBufferLimit);

    timer.start(tickInterval);
    lastSent = clock();
    // Already silent for a minute: the first tick starts the first connection attempt.
    lastReceived = lastSent - silenceLimit;
}

QalixMsgClient::~QalixMsgClient()
{
    qDebug() << "Message Server Deleted!";
    // The socket aborts when it goes; none of its last signals may reach this half-destroyed object.
    socket.disconnect(this);
    timer.stop();
}

void QalixMsgClient::setClock(Clock newClock)
{
    clock = std::move(newClock);
    lastSent = clock();
    lastReceived = lastSent - silenceLimit;
    retryNotBefore = std::numeric_limits<qint64>::min();
}

void QalixMsgClient::connectToServer()
{
    // After a reset for an over-long line the next attempt waits for the
    // regular retry time. The hold sits here, not in the callers: the owner's
    // five-second check, a failed command write and the tick all land here,
    // and any one of them would otherwise reconnect at once, so a server that
    // keeps sending such lines would get a connection (and a log line) as
    // fast as it can answer.
    if (clock() <= retryNotBefore)
        return;
    socket.disconnectFromHost();
    if (waitForConnection && socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(waitForDisconnect);
    socket.close();
    socket.abort();
    lineBuffer.clear();
    ++connection;

    started = false;
    // Retried about ten seconds from now unless data arrives.
    lastReceived = clock() - retryReference;

    socket.connectToHost(host, quint16(port), QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    if (waitForConnection && !socket.waitForConnected(waitForConnect))
        emit error(QStringLiteral("Verbindung zu ") + host + QStringLiteral(" kann nicht aufgebaut werden!"));
}

void QalixMsgClient::onTimeout()
{
    const qint64 t = clock();
    if (t - lastSent > keepAliveAfter) {
        lastSent = t;
        socket.write("N\n", 2);
    }
    if (t - lastReceived > silenceLimit)
        connectToServer();
}

void QalixMsgClient::onError(QAbstractSocket::SocketError)
{
    emit error(QStringLiteral("Connection Error [") + socket.errorString() + QStringLiteral("]"));
}

void QalixMsgClient::sendCommand(char command, QByteArray payload)
{
    const QByteArray line = MsgLine::frame(command, payload);
    qDebug() << "QalixMsgClient" << int(command) << line;
    if (socket.write(line) != line.size())
        connectToServer();
}

void QalixMsgClient::setPortValue(QString object, int port, bool output, double value)
{
    lastSent = clock();
    sendCommand('P', MsgLine::portPayload(object, port, output, value));
}

void QalixMsgClient::setRawMode(bool on)
{
    rawMode = on;
    sendCommand('C', on ? "R" : "r");
}

void QalixMsgClient::onConnected()
{
    qDebug() << this << "Connected";
    const quint64 current = connection;
    // A failed write starts a new attempt; the rest of this sequence belongs to the old one.
    const QByteArray lines[][2] = {
        {"N", ""},
        {"L", (userName + QLatin1Char('=') + password).toLatin1()},
        {"C", "T60"},
        {"C", debugMode ? "D" : "d"},
        {"C", busMode ? "B" : "b"},
    };
    for (const auto &line : lines) {
        sendCommand(line[0].at(0), line[1]);
        if (connection != current)
            return;
    }
    if (!debugMode && !busMode) {
        qDebug() << "FEHLER" << "Weder Bus noch Debug-Mode aktiv!";
        emit error(QStringLiteral("Weder Debug-Mode noch Bus-Mode aktiviert!"));
    }
}

void QalixMsgClient::onData()
{
    lastReceived = clock();
    const quint64 current = connection;
    while (socket.bytesAvailable() > 0) {
        // Read in bounded chunks: the socket never holds more than its limit, and
        // the line buffer no more than one line and one chunk.
        const qint64 want = qMin<qint64>(socket.bytesAvailable(), lineBuffer.maxLineLength());
        QByteArray chunk(int(want), Qt::Uninitialized);
        const qint64 got = socket.read(chunk.data(), want);
        if (got <= 0)
            break;
        lineBuffer.append(chunk.constData(), int(got));

        const char *data = nullptr;
        int size = 0;
        while (lineBuffer.takeLine(&data, &size)) {
            handleLine(MsgLine::parse(data, size));
            if (connection != current)
                return;
        }
        if (lineBuffer.overflowed()) {
            dropConnection();
            return;
        }
    }
}

void QalixMsgClient::handleLine(const MsgLine &line)
{
    switch (line.kind) {
    case MsgLine::Port:
        emit received(line.object, line.port, line.output, line.value);
        return;
    case MsgLine::Error:
        if (line.code == 5) {
            if (started)
                sendCommand('S', QByteArray());
        } else {
            emit error(line.text);
        }
        return;
    case MsgLine::Login:
        loggedIn = line.loginOk;
        if (!loggedIn) {
            // The owner's connection check starts the next attempt.
            socket.close();
            lineBuffer.clear();
            ++connection;
        }
        return;
    case MsgLine::Config:
        switch (line.sub.unicode()) {
        case 'B':
        case 'b':
            busConfirmed = line.sub == QLatin1Char('B');
            busAnswered = true;
            break;
        case 'D':
        case 'd':
            debugConfirmed = line.sub == QLatin1Char('D');
            debugAnswered = true;
            break;
        case 'T':
            qDebug() << "Timeout set to" << line.text;
            break;
        default:
            break;
        }
        if (debugAnswered && busAnswered) {
            // Set first: a failed write starts a new connection, which clears it again.
            started = true;
            sendCommand('S', QByteArray());
        }
        return;
    case MsgLine::Malformed:
        qDebug() << "Malformed line ignored, letter" << line.letter;
        return;
    case MsgLine::Ignored:
        return;
    case MsgLine::Unknown:
        qDebug() << "Unknown Command Received!";
        return;
    }
}

void QalixMsgClient::dropConnection()
{
    qInfo().noquote() << QStringLiteral("Message server line longer than %1 bytes dropped, connection reset")
                             .arg(lineBuffer.maxLineLength());
    socket.abort();
    lineBuffer.clear();
    ++connection;
    started = false;
    // Retried like an attempt on which nothing arrived: by the tick, about ten seconds on.
    lastReceived = clock() - retryReference;
    retryNotBefore = lastReceived + silenceLimit;
}
