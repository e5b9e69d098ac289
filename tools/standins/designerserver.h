#ifndef DESIGNERSERVER_H
#define DESIGNERSERVER_H

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

#include "core/download/transferprotocol.h"

// The designer computer's side of discovery and transfer, for serving a
// package file to panels without the designer at hand. It answers "HELLO"
// with "WAVE" and "START" with the header, and then strictly stop-and-wait:
// every acknowledgement gets the piece starting at the offset it names, and
// nothing is sent unasked. Pieces carry no offset, so a piece repeated on a
// timer would be stored twice whenever only its acknowledgement was late or
// lost; a lost datagram instead stalls the transfer, which the panel reports.
// The last piece is not acknowledged, so the transfer ends when it is sent.
class DesignerServer : public QObject
{
    Q_OBJECT

public:
    DesignerServer(const QString &projectName, const QByteArray &package, QObject *parent = nullptr);

    bool listen(const QHostAddress &address = QHostAddress::AnyIPv4, quint16 port = TransferProtocol::DesignerPort);
    QString errorString() const { return m_socket.errorString(); }
    quint16 localPort() const { return m_socket.localPort(); }

    void setPieceSize(int bytes);
    int pieceSize() const { return m_pieceSize; }
    // A transfer whose panel stays silent this long is given up (10 s).
    void setTimeout(int msec) { m_silenceTimer.setInterval(msec); }
    // Waits this long before answering an acknowledgement, so that a person
    // can watch a transfer.
    void setPause(int msec) { m_pauseTimer.setInterval(msec); }

    // The datagram that carries the piece starting at offset (Base64).
    QByteArray piece(qint64 offset) const;
    int pieceCount() const;

signals:
    void discovered(const QString &panel);
    void transferStarted(const QString &panel, quint16 port);
    void pieceSent(qint64 offset, qint64 end);
    void transferFinished(const QString &panel);
    void transferAbandoned(const QString &panel);

private slots:
    void readPending();

private:
    void send(const QByteArray &datagram);
    void sendPiece(qint64 offset);
    void finish();

    QString m_projectName;
    QByteArray m_package;
    int m_pieceSize;
    QUdpSocket m_socket;
    QTimer m_silenceTimer;
    QTimer m_pauseTimer;
    qint64 m_pausedOffset = 0;

    bool m_active = false;
    QHostAddress m_panel;
    quint16 m_panelPort = 0;
};

#endif // DESIGNERSERVER_H
