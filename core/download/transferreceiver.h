#ifndef TRANSFERRECEIVER_H
#define TRANSFERRECEIVER_H

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <functional>
#include <memory>

class QSaveFile;

// The panel's side of one package transfer, without sockets: datagrams in,
// an outcome out, the package written into the projects directory. The
// package grows in a temporary file beside its destination and replaces an
// existing package only once it is complete.
class TransferReceiver
{
public:
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    // A transfer that hears nothing from its designer for this long has failed.
    static constexpr qint64 StallLimit = 10000;

    enum Outcome {
        Ignored,     // not part of this transfer; nothing stored, nothing to answer
        Acknowledge, // header accepted or piece stored: answer with acknowledgement()
        Completed,   // the package is complete and in place; not acknowledged
        Refused,     // the header was refused; nothing written
        Failed       // the transfer ended without a package; an old package is kept
    };

    explicit TransferReceiver(const QString &projectsDir, Clock clock = Clock());
    ~TransferReceiver();

    TransferReceiver(const TransferReceiver &) = delete;
    TransferReceiver &operator=(const TransferReceiver &) = delete;

    // The transfer request went to host: its next datagram is the header.
    // Any transfer under way is dropped.
    void begin(const QHostAddress &host);
    void cancel();

    Outcome receive(const QByteArray &datagram, const QHostAddress &sender);
    // Failed once the transfer under way has had no datagram from its designer
    // for stallLimit(); Ignored otherwise. The owner calls it now and then.
    Outcome checkStall();
    void setStallLimit(qint64 msec) { m_stallLimit = msec; }
    qint64 stallLimit() const { return m_stallLimit; }

    bool isAwaitingHeader() const { return m_state == AwaitingHeader; }
    bool isReceiving() const { return m_state == Receiving; }
    bool isIdle() const { return m_state == Idle; }
    QHostAddress host() const { return m_host; }
    QString projectName() const { return m_projectName; }
    QString fileName() const { return m_fileName; }
    qint64 totalBytes() const { return m_totalBytes; }
    qint64 storedBytes() const { return m_storedBytes; }
    int percent() const;
    QByteArray acknowledgement() const;

    // After Refused or Failed: the operator's message and the log's reason.
    QString message() const { return m_message; }
    QString reason() const { return m_reason; }

private:
    enum State { Idle, AwaitingHeader, Receiving };

    Outcome acceptHeader(const QByteArray &datagram);
    Outcome storePiece(const QByteArray &datagram);
    Outcome fail(const QString &message, const QString &reason);

    QString m_projectsDir;
    Clock m_clock;
    qint64 m_stallLimit = StallLimit;
    qint64 m_lastHeard = 0;
    State m_state = Idle;
    QHostAddress m_host;
    QString m_projectName;
    QString m_fileName;
    qint64 m_totalBytes = 0;
    qint64 m_storedBytes = 0;
    QByteArray m_header;
    std::unique_ptr<QSaveFile> m_file;
    QString m_message;
    QString m_reason;
};

#endif // TRANSFERRECEIVER_H
