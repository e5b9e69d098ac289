#include "tools/standins/designerserver.h"

#include "core/download/transferprotocol.h"

#include <QNetworkDatagram>

DesignerServer::DesignerServer(const QString &projectName, const QByteArray &package, QObject *parent)
    : QObject(parent)
    , m_projectName(projectName)
    , m_package(package)
    , m_pieceSize(TransferProtocol::MaxPieceSize)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &DesignerServer::readPending);
    m_silenceTimer.setSingleShot(true);
    m_silenceTimer.setInterval(10000);
    connect(&m_silenceTimer, &QTimer::timeout, this, [this] {
        finish();
        emit transferAbandoned(m_panel.toString());
    });
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
        if (!m_active || !sender.isEqual(m_panel, QHostAddress::TolerantConversion) || senderPort != m_panelPort) {
            continue;
        }
        const qint64 offset = TransferProtocol::parseAcknowledgement(data);
        if (offset < 0 || offset >= m_package.size())
            continue;
        m_silenceTimer.start();
        if (m_pauseTimer.interval() > 0) {
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
        finish();
        emit transferFinished(m_panel.toString());
    }
}

void DesignerServer::send(const QByteArray &datagram)
{
    m_socket.writeDatagram(datagram, m_panel, m_panelPort);
    m_silenceTimer.start();
}

void DesignerServer::finish()
{
    m_active = false;
    m_silenceTimer.stop();
    m_pauseTimer.stop();
}
