#include "core/net/msgserversession.h"

#include "core/bus/portid.h"
#include "core/net/msgline.h"

#include <QLoggingCategory>
#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

// Debug notes only when asked for (QT_LOGGING_RULES): a busy server closes many sessions.
Q_LOGGING_CATEGORY(lcServer, "qalix.server", QtInfoMsg)

namespace {

const QString reasonGone = QStringLiteral("disconnected");
const QString reasonTooLong = QStringLiteral("line too long");
const QString reasonRefused = QStringLiteral("login refused");
const QString reasonClosed = QStringLiteral("closed");
const QString reasonBacklog = QStringLiteral("panel reads nothing");
const QString reasonBeforeLogin = QStringLiteral("not a login");

} // namespace

MsgServerSession::MsgServerSession(QTcpSocket *socket, QObject *parent)
    : QObject(parent)
    , m_sock(socket)
{
    Q_ASSERT(socket);
    m_sock->setParent(this);
    connect(m_sock, &QTcpSocket::readyRead, this, &MsgServerSession::onReadyRead);
    connect(m_sock, &QTcpSocket::disconnected, this, [this] { finish(reasonGone, false); });
    // Bytes may have arrived before the owner could connect to our signals, and
    // their ready-read has passed; look once the owner has had its turn.
    QTimer::singleShot(0, this, [this] {
        if (m_closedOnce)
            return;
        if (m_sock->state() != QAbstractSocket::ConnectedState && m_sock->bytesAvailable() == 0)
            finish(reasonGone, false);
        else
            onReadyRead();
    });
}

MsgServerSession::~MsgServerSession()
{
    // The socket dies with us; its last signals must not reach a half-destroyed session.
    m_sock->disconnect(this);
}

void MsgServerSession::setCredentials(const QString &newUser, const QString &newPassword)
{
    m_user = newUser;
    m_password = newPassword;
    m_credentialsSet = true;
}

void MsgServerSession::setMaxLineLength(int bytes)
{
    // Lines already buffered were read under the old bound; keep them.
    if (m_buffer.pending() == 0)
        m_buffer = MsgLineBuffer(qMax(1, bytes));
}

void MsgServerSession::acceptStart()
{
    if (m_loginAccepted && !m_closedOnce)
        m_startAccepted = true;
}

bool MsgServerSession::sendPort(const QString &object, int port, bool output, double value)
{
    if (!m_startAccepted || m_closedOnce)
        return false;
    const QByteArray line = MsgLine::framePort(object, port, output, value);
    if (line.isEmpty()) {
        qCWarning(lcServer) << "object name cannot be carried in a port report:" << object;
        return false;
    }
    write(line);
    return true;
}

bool MsgServerSession::sendUnknown(const PortId &port)
{
    if (!m_startAccepted || m_closedOnce)
        return false;
    const QByteArray line = MsgLine::frameNoValue(port);
    if (line.isEmpty()) {
        qCWarning(lcServer) << "object name cannot be carried in a port report:" << port.object();
        return false;
    }
    write(line);
    return true;
}

void MsgServerSession::sendError(int code, const QString &text)
{
    write(MsgLine::frameError(code, text));
}

void MsgServerSession::sendRaw(const QByteArray &bytes)
{
    write(bytes);
}

void MsgServerSession::close()
{
    finish(reasonClosed, true);
}

void MsgServerSession::write(const QByteArray &bytes)
{
    if (m_closedOnce || m_overrun)
        return;
    if (m_sock->bytesToWrite() + bytes.size() > m_maxBacklog) {
        // The owner may be walking its sessions right now: close on the next turn.
        m_overrun = true;
        qCWarning(lcServer).noquote() << "panel" << m_sock->peerAddress().toString() << "reads nothing;"
                                      << m_sock->bytesToWrite() << "bytes wait unsent, dropping the session";
        QTimer::singleShot(0, this, [this] { finish(reasonBacklog, false); });
        return;
    }
    m_sock->write(bytes);
}

void MsgServerSession::finish(const QString &reason, bool flush)
{
    if (m_closedOnce)
        return;
    m_closedOnce = true;
    m_loginAccepted = m_startAccepted = false;
    m_sock->disconnect(this);
    if (flush) {
        // Whatever was answered last (a refusal) should reach the panel.
        m_sock->flush();
        m_sock->disconnectFromHost();
    } else {
        m_sock->abort();
    }
    if (m_malformedLines > 1)
        qCWarning(lcServer) << m_malformedLines << "malformed lines passed over in all";
    qCDebug(lcServer) << "session closed:" << reason;
    emit closed(reason);
}

void MsgServerSession::onReadyRead()
{
    const QPointer<MsgServerSession> guard(this);
    while (!m_closedOnce && m_sock->bytesAvailable() > 0) {
        m_buffer.append(m_sock->read(qMax(4096, m_buffer.maxLineLength())));
        QByteArray line;
        while (m_buffer.takeLine(&line)) {
            if (!m_loginAccepted && m_loginFirstBytes > 0) {
                m_bytesBeforeLogin += line.size() + 1;
                if (m_bytesBeforeLogin > m_loginFirstBytes) {
                    finish(reasonBeforeLogin, false);
                    return;
                }
            }
            handleLine(line.trimmed());
            // A handler of our signals may have closed or deleted us.
            if (!guard || m_closedOnce)
                return;
        }
        if (!m_loginAccepted && m_loginFirstBytes > 0 && m_bytesBeforeLogin + m_buffer.pending() > m_loginFirstBytes) {
            finish(reasonBeforeLogin, false);
            return;
        }
        if (m_buffer.overflowed()) {
            qCWarning(lcServer) << "line longer than" << m_buffer.maxLineLength() << "bytes, dropping the session";
            emit lineTooLong();
            if (guard)
                finish(reasonTooLong, false);
            return;
        }
    }
}

void MsgServerSession::handleLine(const QByteArray &line)
{
    const QPointer<MsgServerSession> guard(this);
    emit lineReceived(line);
    if (!guard || m_closedOnce || m_silent)
        return;
    handleRequest(MsgLine::parseRequest(line), line);
}

void MsgServerSession::handleRequest(const MsgLine &request, const QByteArray &line)
{
    const auto notPermitted = [this] { sendError(4, MsgLine::errorText(4)); };

    if (!m_loginAccepted && m_loginFirstBytes > 0 && request.request != MsgLine::LoginRequest
        && !(request.request == MsgLine::BadRequest && request.letter == QLatin1Char('L'))) {
        if (request.request != MsgLine::KeepAlive)
            finish(reasonBeforeLogin, false);
        else if (m_echoKeepAlive)
            write(MsgLine::frameKeepAlive(request.text));
        return;
    }

    switch (request.request) {
    case MsgLine::KeepAlive:
        if (m_echoKeepAlive)
            write(MsgLine::frameKeepAlive(request.text));
        return;
    case MsgLine::LoginRequest:
        if (m_credentialsSet && !m_refuseLogin && request.user == m_user && request.password == m_password) {
            write(MsgLine::frameLoginAnswer(true));
            m_loginAccepted = true;
            emit loggedIn();
            return;
        }
        break; // refused below
    case MsgLine::ConfigRequest: {
        static const QString modes = QStringLiteral("DdBbRr");
        if (!m_loginAccepted)
            notPermitted();
        else if (request.sub == QLatin1Char('T')
                 || (request.text.isEmpty() && !request.sub.isNull() && modes.contains(request.sub)))
            write(MsgLine::frameConfigAnswer(request.sub, request.text));
        else
            sendError(1, MsgLine::errorText(1));
        return;
    }
    case MsgLine::StartRequest:
        if (!m_loginAccepted) {
            notPermitted();
            return;
        }
        emit startRequested();
        return;
    case MsgLine::PortCommand:
        if (!m_loginAccepted) {
            notPermitted();
            return;
        }
        emit portCommand(request.object, request.port, request.output, request.value, request.valueText);
        return;
    case MsgLine::BadRequest:
        if (request.letter == QLatin1Char('L'))
            break; // a login without "=" is refused like a wrong one
        // One line per session: a hostile panel must not flood standard error.
        if (m_malformedLines++ == 0)
            qCWarning(lcServer) << "malformed line passed over (further ones counted when the session ends):"
                                << line.left(80);
        if (!m_loginAccepted)
            notPermitted();
        else
            sendError(2, MsgLine::errorText(2));
        return;
    default:
        qCDebug(lcServer) << "unknown command:" << line.left(80);
        sendError(2, MsgLine::errorText(2));
        return;
    }

    // The login was refused; the owner says so, it knows from where.
    qCDebug(lcServer) << "login refused";
    write(MsgLine::frameLoginAnswer(false));
    const QPointer<MsgServerSession> guard(this);
    emit loginRefused();
    if (guard)
        finish(reasonRefused, true);
}
