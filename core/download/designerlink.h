#ifndef DESIGNERLINK_H
#define DESIGNERLINK_H

#include "core/download/discoveredhosts.h"
#include "core/download/transferreceiver.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUdpSocket>

// The panel's side of the designer computer's link: the discovery socket that
// broadcasts "HELLO" and hears the designers answer, the transfer socket that
// asks one of them for a package and acknowledges each part, and the two
// timers that pace the greeting (2 s) and watch a transfer for stalls.
class DesignerLink : public QObject
{
    Q_OBJECT

public:
    explicit DesignerLink(const QString &projectsDir, QObject *parent = nullptr);

    // Why a socket could not take its port; empty when both did (the
    // discovery socket's problem wins, it is met last).
    QString bindError() const { return m_bindError; }

    // Greets every IPv4 broadcast address of this computer. Answers that
    // came before are taken first, under the round they answer.
    void sayHello();
    // Handles what `socket` holds, or both sockets when it is null.
    void readPending(QUdpSocket *socket = nullptr);
    // Asks `host` (dotted quad) at `port` (decimal) for its package; a host
    // or port that does not parse sends nothing, the transfer waits in vain.
    void request(const QString &host, const QString &port);

    // How long a transfer may hear nothing from its designer (10 s).
    void setStallLimit(int msec);
    const TransferReceiver &receiver() const { return m_receiver; }

signals:
    // Either socket has datagrams; readPending() takes them.
    void readyRead();
    // Time to greet again; sayHello() does.
    void helloDue();
    void hostFound(const QString &address);
    // A listed host turned out to spray answers.
    void hostLost(const QString &address);
    // What a datagram or a stall check did to the transfer.
    void transferChanged(TransferReceiver::Outcome outcome);

private:
    void handleDatagram(const QByteArray &datagram, const QHostAddress &sender, quint16 senderPort);
    void handleAnswer(const QHostAddress &sender);
    void checkStall();
    void report(TransferReceiver::Outcome outcome);

    QUdpSocket m_transferSocket;
    QUdpSocket m_discoverySocket;
    QTimer m_helloTimer;
    QTimer m_stallTimer;
    TransferReceiver m_receiver;
    DiscoveredHosts m_hosts;
    QHostAddress m_requestHost;
    quint16 m_requestPort = 0;
    QString m_bindError;
};

#endif // DESIGNERLINK_H
