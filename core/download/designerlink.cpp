#include "core/download/designerlink.h"

#include "core/download/transferprotocol.h"
#include "core/logging/logcategories.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>

DesignerLink::DesignerLink(const QString &projectsDir, QObject *parent)
    : QObject(parent)
    , m_receiver(projectsDir)
{
    if (!m_transferSocket.bind(TransferProtocol::TransferPort))
        m_bindError = m_transferSocket.errorString();
    if (!m_discoverySocket.bind(TransferProtocol::DiscoveryPort))
        m_bindError = m_discoverySocket.errorString();

    connect(&m_transferSocket, &QUdpSocket::readyRead, this, &DesignerLink::readyRead);
    connect(&m_discoverySocket, &QUdpSocket::readyRead, this, &DesignerLink::readyRead);
    connect(&m_helloTimer, &QTimer::timeout, this, &DesignerLink::helloDue);
    m_helloTimer.start(2000);
    connect(&m_stallTimer, &QTimer::timeout, this, &DesignerLink::checkStall);
    setStallLimit(int(TransferReceiver::StallLimit));
}

void DesignerLink::sayHello()
{
    readPending(&m_discoverySocket);
    int sent = 0;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const auto entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol || entry.broadcast().toString().isEmpty()) {
                continue;
            }
            if (m_discoverySocket.writeDatagram(TransferProtocol::discoveryRequest(), entry.broadcast(),
                                                TransferProtocol::DesignerPort)
                >= 0) {
                ++sent;
            }
        }
    }
    m_hosts.greeted(sent);
}

void DesignerLink::readPending(QUdpSocket *socket)
{
    const QList<QUdpSocket *> sockets =
        socket ? QList<QUdpSocket *>{socket} : QList<QUdpSocket *>{&m_transferSocket, &m_discoverySocket};
    for (QUdpSocket *s : sockets) {
        while (s->hasPendingDatagrams()) {
            // Anything past the protocol's limit is cut off here, not read.
            const QNetworkDatagram datagram = s->receiveDatagram(TransferProtocol::MaxDatagramSize);
            if (datagram.isValid())
                handleDatagram(datagram.data(), datagram.senderAddress(), quint16(datagram.senderPort()));
        }
    }
}

void DesignerLink::request(const QString &host, const QString &port)
{
    m_requestHost = QHostAddress(host.trimmed());
    bool ok = false;
    m_requestPort = port.toUShort(&ok, 10);
    m_receiver.begin(m_requestHost);
    m_stallTimer.start();
    qCDebug(lcDownload) << "START FROM" << m_requestHost;
    if (!m_requestHost.isNull() && ok)
        m_transferSocket.writeDatagram(TransferProtocol::transferRequest(), m_requestHost, m_requestPort);
}

void DesignerLink::setStallLimit(int msec)
{
    m_receiver.setStallLimit(msec);
    // Checked often enough that a stall shows within a tenth of the limit.
    m_stallTimer.setInterval(qMax(1, msec / 10));
}

void DesignerLink::checkStall()
{
    if (m_receiver.isIdle())
        m_stallTimer.stop();
    else
        report(m_receiver.checkStall());
}

void DesignerLink::handleDatagram(const QByteArray &datagram, const QHostAddress &sender, quint16 senderPort)
{
    if (TransferProtocol::isDiscoveryAnswer(datagram))
        handleAnswer(sender);
    else
        report(m_receiver.receive(datagram, sender, senderPort));
}

void DesignerLink::handleAnswer(const QHostAddress &sender)
{
    const QString address = TransferProtocol::dottedQuad(sender);
    if (address.isEmpty()) {
        qCDebug(lcDownload) << "WAVE from a non-IPv4 address dropped:" << sender;
        return;
    }
    switch (m_hosts.answer(address)) {
    case DiscoveredHosts::Added:
        emit hostFound(address);
        break;
    case DiscoveredHosts::Spraying:
        qCritical().noquote() << "Discovery: answers from" << address
                              << "dropped from now on, it answers more often than it is greeted";
        emit hostLost(address);
        break;
    case DiscoveredHosts::Full:
        qCritical().noquote() << "Discovery: answers from further designer computers are dropped, the list is full"
                              << QStringLiteral("(%1 listed, or %2 found spraying)")
                                     .arg(DiscoveredHosts::MaxHosts)
                                     .arg(DiscoveredHosts::MaxSprayers);
        break;
    case DiscoveredHosts::Unasked:
        qCDebug(lcDownload) << "WAVE from" << address << "dropped, no greeting outstanding";
        break;
    case DiscoveredHosts::Known:
    case DiscoveredHosts::Dropped:
        break;
    }
}

void DesignerLink::report(TransferReceiver::Outcome outcome)
{
    switch (outcome) {
    case TransferReceiver::Ignored:
        return;
    case TransferReceiver::Acknowledge:
        m_transferSocket.writeDatagram(m_receiver.acknowledgement(), m_requestHost, m_requestPort);
        break;
    case TransferReceiver::Completed:
        qInfo().noquote() << "Download complete:" << m_receiver.fileName();
        break;
    case TransferReceiver::Refused:
    case TransferReceiver::Failed:
        qCritical().noquote() << m_receiver.reason();
        break;
    }
    emit transferChanged(outcome);
}
