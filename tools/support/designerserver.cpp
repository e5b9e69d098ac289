#include "tools/support/designerserver.h"

#include "download/transferprotocol.h"

#include <QNetworkDatagram>

DesignerServer::DesignerServer(const QString &projectName, const QByteArray &package,
                               QObject *parent)
    : QObject(parent)
    , m_projectName(projectName)
    , m_package(package)
    , m_pieceSize(TransferProtocol::MaxPieceSize)
{
    m_retryTimer.setInterval(1000);
    connect(&m_socket, &QUdpSocket::readyRead, this, &DesignerServer::readPending);
    connect(&m_retryTimer, &QTimer::timeout, this, &DesignerServer::retry);
    m_pauseTimer.setSingleShot(true);
    m_pauseTimer.setInterval(0);
    connect(&m_pauseTimer, &QTimer::timeout, this, [this] {
        if (m_active)
            sendPiece(m_pausedOffset);
    });
}

bool DesignerServer::listen(const QHostAddress &address, quint16 port)
{
    return m_socket.bind(address, port);
}

void DesignerServer::setPieceSize(int bytes)
{
    m_pieceSize = qBound(1, bytes, TransferProtocol::MaxPieceSize);
}

QByteArray DesignerServer::piece(qint64 offset) const
{
    return m_package.mid(int(offset), m_pieceSize).toBase64();
}

int DesignerServer::pieceCount() const
{
    return int((m_package.size() + m_pieceSize - 1) / m_pieceSize);
}

void DesignerServer::readPending()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram(TransferProtocol::MaxDatagramSize);
        if (!datagram.isValid())
            continue;
        const QByteArray data = datagram.data();
        const QHostAddress sender = datagram.senderAddress();
        const quint16 senderPort = quint16(datagram.senderPort());

        if (data == TransferProtocol::discoveryRequest()) {
            m_socket.writeDatagram(TransferProtocol::discoveryAnswer(), sender, senderPort);
            emit discovered(sender.toString());
            continue;
        }
        if (data == TransferProtocol::transferRequest()) {
            m_active = true;
            m_pauseTimer.stop();
            m_panel = sender;
            m_panelPort = senderPort;
            emit transferStarted(sender.toString(), senderPort);
            send(TransferProtocol::header(m_projectName, m_package.size()));
            continue;
        }
        if (!m_active || !sender.isEqual(m_panel, QHostAddress::TolerantConversion)
            || senderPort != m_panelPort) {
            continue;
        }
        const qint64 offset = TransferProtocol::parseAcknowledgement(data);
        // Only piece boundaries are asked for; anything else is not from a panel.
        if (offset < 0 || offset >= m_package.size() || offset % m_pieceSize != 0)
            continue;
        if (m_pauseTimer.interval() > 0) {
            m_retryTimer.stop();
            m_pausedOffset = offset;
            m_pauseTimer.start();
        } else {
            sendPiece(offset);
        }
    }
}

void DesignerServer::sendPiece(qint64 offset)
{
    const qint64 end = qMin<qint64>(offset + m_pieceSize, m_package.size());
    send(piece(offset));
    emit pieceSent(offset, end);
    if (end == m_package.size()) {
        m_retryTimer.stop();
        m_active = false;
        emit transferFinished(m_panel.toString());
    }
}

void DesignerServer::send(const QByteArray &datagram)
{
    m_socket.writeDatagram(datagram, m_panel, m_panelPort);
    m_lastSent = datagram;
    m_retries = 0;
    m_retryTimer.start();
}

void DesignerServer::retry()
{
    if (!m_active) {
        m_retryTimer.stop();
        return;
    }
    if (++m_retries > m_maxRetries) {
        m_retryTimer.stop();
        m_active = false;
        emit transferAbandoned(m_panel.toString());
        return;
    }
    m_socket.writeDatagram(m_lastSent, m_panel, m_panelPort);
}
