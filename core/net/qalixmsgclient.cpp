#include "core/net/qalixmsgclient.h"
#include "core/logging/logcategories.h"

#include <QDebug>

#include <chrono>
#include <limits>

namespace {

qint64 monotonicMsecs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Bytes the m_socket takes from the system for one ready-read. onData drains
// them completely; the bound keeps a burst from the server from holding the
// event loop (and the window) for longer than a few thousand reports.
constexpr qint64 socketBufferLimit = 64 * 1024;

} // namespace

QalixMsgClient::QalixMsgClient(const Settings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_clock(monotonicMsecs)
    , m_retryNotBefore(std::numeric_limits<qint64>::min())
{
    // Never the password itself: debug lines end up in files and terminals.
    qCDebug(lcNet) << "Message Connection" << settings.host << settings.port << settings.userName << "***";

    connect(&m_socket, &QTcpSocket::connected, this, &QalixMsgClient::onConnected);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &QalixMsgClient::onError);
    connect(&m_socket, &QTcpSocket::readyRead, this, &QalixMsgClient::onData);
    connect(&m_socket, &QTcpSocket::stateChanged, this, &QalixMsgClient::stateChanged);
    connect(&m_socket, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state != QAbstractSocket::ConnectedState)
            resetLiveness();
    });
    connect(&m_timer, &QTimer::timeout, this, &QalixMsgClient::onTimeout);
    m_socket.setReadBufferSize(socketBufferLimit);

    m_timer.start(tickInterval);
    m_lastSent = m_clock();
    // Already silent for a minute: the first tick starts the first connection attempt.
    m_lastReceived = m_lastSent - silenceLimit;
}

QalixMsgClient::~QalixMsgClient()
{
    qCDebug(lcNet) << "Message Server Deleted!";
    // The socket aborts when it goes; none of its last signals may reach this half-destroyed object.
    m_socket.disconnect(this);
    m_timer.stop();
}

void QalixMsgClient::setTicking(bool on)
{
    if (on)
        m_timer.start(tickInterval);
    else
        m_timer.stop();
}

void QalixMsgClient::setClock(Clock newClock)
{
    m_clock = std::move(newClock);
    m_lastSent = m_clock();
    m_lastReceived = m_lastSent - silenceLimit;
    m_retryNotBefore = std::numeric_limits<qint64>::min();
}

void QalixMsgClient::connectToServer()
{
    // After a reset for an over-long line the next attempt waits for the
    // regular retry time. The hold sits here, not in the callers: the owner's
    // five-second check, a failed command write and the tick all land here,
    // and any one of them would otherwise reconnect at once, so a server that
    // keeps sending such lines would get a connection (and a log line) as
    // fast as it can answer.
    if (m_clock() <= m_retryNotBefore)
        return;
    judgeAbandonedAttempt();
    m_socket.disconnectFromHost();
    if (m_settings.waitForConnection && m_socket.state() != QAbstractSocket::UnconnectedState)
        m_socket.waitForDisconnected(waitForDisconnect);
    m_socket.close();
    m_socket.abort();
    m_lineBuffer.clear();
    ++m_connection;
    resetLiveness();

    m_started = false;
    // Retried about ten seconds from now unless data arrives.
    m_attemptAt = m_clock();
    m_lastReceived = m_attemptAt - retryReference;

    m_socket.connectToHost(m_settings.host, quint16(m_settings.port), QIODevice::ReadWrite,
                           QAbstractSocket::AnyIPProtocol);
    if (m_settings.waitForConnection && !m_socket.waitForConnected(waitForConnect))
        emit error(QStringLiteral("Verbindung zu ") + m_settings.host
                   + QStringLiteral(" kann nicht aufgebaut werden!"));
}

void QalixMsgClient::onTimeout()
{
    const qint64 t = m_clock();
    if (t - m_lastSent > keepAliveAfter) {
        m_lastSent = t;
        if (roomFor(2) && m_socket.write("N\n", 2) == 2)
            ++m_keepAlivesSent;
    }
    if (t - m_lastReceived > silenceLimit)
        connectToServer();
}

void QalixMsgClient::onError(QAbstractSocket::SocketError err)
{
    const QString text = m_socket.errorString();
    switch (err) {
    case QAbstractSocket::RemoteHostClosedError:
        setDownReason(DownReason(DownReason::Dropped));
        break;
    case QAbstractSocket::SocketTimeoutError:
        setDownReason(DownReason(DownReason::NoAnswer, text));
        break;
    default:
        setDownReason(DownReason(DownReason::Unreachable, text));
        break;
    }
    emit error(QStringLiteral("Connection Error [") + text + QStringLiteral("]"));
}

void QalixMsgClient::judgeAbandonedAttempt()
{
    const qint64 seconds = (m_clock() - m_attemptAt + 500) / 1000;
    switch (m_socket.state()) {
    case QAbstractSocket::HostLookupState:
    case QAbstractSocket::ConnectingState:
        setDownReason(DownReason(DownReason::NoAnswer, QStringLiteral("no connection within %1 s").arg(seconds)));
        return;
    case QAbstractSocket::ConnectedState:
        // A live connection left while it still speaks is the caller's choice, not a fault.
        if (m_live && m_clock() - m_lastReceived <= silenceLimit)
            return;
        if (m_live)
            setDownReason(
                DownReason(DownReason::NoAnswer, QStringLiteral("nothing received for %1 s").arg(silenceLimit / 1000)));
        else if (m_loginAccepted)
            setDownReason(
                DownReason(DownReason::NoAnswer, QStringLiteral("logged in, but no report within %1 s").arg(seconds)));
        else
            setDownReason(DownReason(DownReason::NoAnswer,
                                     QStringLiteral("connected, but no answer to the login within %1 s").arg(seconds)));
        return;
    default:
        return;
    }
}

void QalixMsgClient::setDownReason(const DownReason &reason, bool said)
{
    if (reason.kind() != DownReason::None && reason.kind() != m_toldKind) {
        if (!said) {
            qCritical().noquote() << reason.line(m_settings.host + QLatin1Char(':') + QString::number(m_settings.port),
                                                 m_settings.userName);
        }
        m_toldKind = reason.kind();
    }
    if (reason.kind() == DownReason::None)
        m_toldKind = DownReason::None;
    const bool changed = reason.kind() != m_downReason.kind();
    m_downReason = reason;
    if (changed)
        emit downReasonChanged(reason);
}

void QalixMsgClient::sendCommand(char command, QByteArray payload)
{
    const QByteArray line = MsgLine::frame(command, payload);
    qCDebug(lcNet) << "QalixMsgClient" << int(command) << MsgLine::withoutPassword(line);
    if (!roomFor(line.size()))
        return;
    if (m_socket.write(line) != line.size()) {
        connectToServer();
        return;
    }
    if (command == 'N')
        ++m_keepAlivesSent;
}

void QalixMsgClient::sendStart()
{
    const quint64 current = m_connection;
    // Set first: a failed write starts a new connection, which clears it again.
    m_started = true;
    m_keepAlivesBeforeStart = m_keepAlivesSent;
    sendCommand('S', QByteArray());
    // One keep-alive behind the last start request of a read: every answer
    // to the configuration lines sends "S" again.
    m_probeDue = m_startProbe && m_connection == current;
}

void QalixMsgClient::sendProbe()
{
    if (!m_probeDue)
        return;
    m_probeDue = false;
    if (m_live)
        return;
    m_lastSent = m_clock();
    sendCommand('N', QByteArray());
}

void QalixMsgClient::resetLiveness()
{
    m_loginAccepted = m_probeDue = false;
    m_keepAlivesSent = m_keepAlivesAnswered = m_keepAlivesBeforeStart = 0;
    setLive(false);
}

void QalixMsgClient::setLive(bool live)
{
    if (live == m_live)
        return;
    m_live = live;
    if (live)
        setDownReason(DownReason());
    emit liveChanged(live);
}

void QalixMsgClient::setPortValue(QString object, int port, bool output, double value)
{
    m_lastSent = m_clock();
    sendCommand('P', MsgLine::portPayload(object, port, output, value));
}

void QalixMsgClient::setRawMode(bool on)
{
    m_rawMode = on;
    sendCommand('C', on ? "R" : "r");
}

void QalixMsgClient::onConnected()
{
    qCDebug(lcNet) << this << "Connected";
    const quint64 current = m_connection;
    // A failed write starts a new attempt; the rest of this sequence belongs to the old one.
    const QByteArray lines[][2] = {
        {"N", ""},
        {"L", (m_settings.userName + QLatin1Char('=') + m_settings.password).toLatin1()},
        {"C", "T60"},
        {"C", m_settings.debugMode ? "D" : "d"},
        {"C", m_settings.busMode ? "B" : "b"},
    };
    for (const auto &line : lines) {
        sendCommand(line[0].at(0), line[1]);
        if (m_connection != current)
            return;
    }
    if (!m_settings.debugMode && !m_settings.busMode) {
        qCDebug(lcNet) << "FEHLER"
                       << "Weder Bus noch Debug-Mode aktiv!";
        emit error(QStringLiteral("Weder Debug-Mode noch Bus-Mode aktiviert!"));
    }
}

void QalixMsgClient::onData()
{
    m_lastReceived = m_clock();
    const quint64 current = m_connection;
    while (m_socket.bytesAvailable() > 0) {
        // Read in bounded chunks: the m_socket never holds more than its limit, and
        // the line buffer no more than one line and one chunk.
        const qint64 want = qMin<qint64>(m_socket.bytesAvailable(), m_lineBuffer.maxLineLength());
        QByteArray chunk(int(want), Qt::Uninitialized);
        const qint64 got = m_socket.read(chunk.data(), want);
        if (got <= 0)
            break;
        m_lineBuffer.append(chunk.constData(), int(got));

        const char *data = nullptr;
        int size = 0;
        while (m_lineBuffer.takeLine(&data, &size)) {
            handleLine(MsgLine::parse(data, size));
            if (m_connection != current)
                return;
        }
        if (m_lineBuffer.overflowed()) {
            dropConnection(QStringLiteral("Message server line longer than %1 bytes dropped, connection reset")
                               .arg(m_lineBuffer.maxLineLength()));
            return;
        }
    }
    sendProbe();
}

void QalixMsgClient::handleLine(const MsgLine &line)
{
    switch (line.kind) {
    case MsgLine::Port:
        if (m_loginAccepted)
            setLive(true);
        emit received(line.object, line.port, line.output, line.value);
        return;
    case MsgLine::NoValue:
        if (m_loginAccepted)
            setLive(true);
        emit receivedUnknown(line.object, line.port, line.output);
        return;
    case MsgLine::Error:
        if (line.code == 5) {
            if (m_started)
                sendStart();
        } else {
            emit error(line.text);
        }
        return;
    case MsgLine::Login:
        m_loggedIn = line.loginOk;
        m_loginAccepted = line.loginOk;
        if (!m_loggedIn) {
            setDownReason(DownReason(DownReason::LoginRefused));
            // The owner's connection check starts the next attempt.
            m_socket.close();
            m_lineBuffer.clear();
            ++m_connection;
            resetLiveness();
        }
        return;
    case MsgLine::Config:
        switch (line.sub.unicode()) {
        case 'B':
        case 'b':
            m_busConfirmed = line.sub == QLatin1Char('B');
            m_busAnswered = true;
            break;
        case 'D':
        case 'd':
            m_debugConfirmed = line.sub == QLatin1Char('D');
            m_debugAnswered = true;
            break;
        case 'T':
            qCDebug(lcNet) << "Timeout set to" << line.text;
            break;
        default:
            break;
        }
        if (m_debugAnswered && m_busAnswered)
            sendStart();
        return;
    case MsgLine::Malformed:
        qCDebug(lcNet) << "Malformed line ignored, letter" << line.letter;
        return;
    case MsgLine::Ignored:
        if (line.letter == QLatin1Char('N')) {
            ++m_keepAlivesAnswered;
            if (m_loginAccepted && m_started && m_keepAlivesAnswered > m_keepAlivesBeforeStart)
                setLive(true);
        }
        return;
    case MsgLine::Unknown:
        qCDebug(lcNet) << "Unknown Command Received!";
        return;
    }
}

bool QalixMsgClient::roomFor(qint64 bytes)
{
    // A server that sends and never reads would have every answer queued
    // here for good: the configuration lines alone are answered one by one.
    if (m_socket.bytesToWrite() + bytes <= maxUnsentBytes)
        return true;
    dropConnection(QStringLiteral("Message server reads nothing: %1 bytes wait unsent, connection reset")
                       .arg(m_socket.bytesToWrite()));
    return false;
}

void QalixMsgClient::dropConnection(const QString &why)
{
    qCritical().noquote() << why;
    setDownReason(DownReason(DownReason::Dropped, why), true);
    m_socket.abort();
    m_lineBuffer.clear();
    ++m_connection;
    resetLiveness();
    m_started = false;
    // Retried like an attempt on which nothing arrived: by the tick, about ten seconds on.
    m_lastReceived = m_clock() - retryReference;
    m_retryNotBefore = m_lastReceived + silenceLimit;
}
