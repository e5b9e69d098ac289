#ifndef TRANSFERRECEIVER_H
#define TRANSFERRECEIVER_H

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QCoreApplication>

#include <functional>
#include <memory>

class QTemporaryFile;

// The panel's side of one package transfer, without sockets: datagrams in,
// an outcome out, the package written into the projects directory. The
// package grows in a temporary file beside its destination and replaces an
// existing package only once it is complete and loads: it opens as a
// package and its project document parses.
class TransferReceiver
{
    Q_DECLARE_TR_FUNCTIONS(TransferReceiver)

public:
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;
    // Bytes free for new files in a folder; negative when unknown.
    using FreeSpace = std::function<qint64(const QString &folder)>;
    // Why the package at a path would not load; empty when it would.
    using PackageCheck = std::function<QString(const QString &path)>;

    // A transfer that hears nothing from its designer for this long has failed.
    static constexpr qint64 StallLimit = 10000;
    // A whole transfer may take DeadlineBase ms and one more second for
    // every DeadlineRate bytes announced; a designer answers each piece in
    // a round trip, far faster, but a peer dripping bytes just inside the
    // stall limit would otherwise hold a transfer for ever.
    static constexpr qint64 DeadlineBase = 60000;
    static constexpr qint64 DeadlineRate = 8 * 1024;
    // Largest package taken at all.
    static constexpr qint64 MaxPackageSize = qint64(1) << 30;
    // Free space kept in the projects folder beyond what a transfer needs:
    // the package twice, the download and its copy into place.
    static constexpr qint64 SpareSpace = qint64(64) << 20;

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

    // The header may come from any port of the host asked; every later
    // datagram only from the address and port the header came from.
    Outcome receive(const QByteArray &datagram, const QHostAddress &sender, quint16 senderPort);
    // Failed once the transfer under way has had no datagram from its
    // designer for stallLimit(), or has run past its deadline; Ignored
    // otherwise. The owner calls it now and then.
    Outcome checkStall();
    void setStallLimit(qint64 msec) { m_stallLimit = msec; }
    qint64 stallLimit() const { return m_stallLimit; }
    // How long a transfer of `bytes` may take in all.
    static qint64 deadline(qint64 bytes);

    // Tests put a free space and a check of their own here.
    void setFreeSpace(FreeSpace freeSpace) { m_freeSpace = std::move(freeSpace); }
    void setPackageCheck(PackageCheck check) { m_check = std::move(check); }
    // The check used unless another is set: the package opens, is whole,
    // and its project document parses as the loader reads it.
    static QString packageProblem(const QString &path);

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

    Outcome acceptHeader(const QByteArray &datagram, quint16 senderPort);
    Outcome refuse(const QString &message, const QString &reason);
    Outcome storePiece(const QByteArray &datagram);
    Outcome complete();
    Outcome fail(const QString &message, const QString &reason);

    QString m_projectsDir;
    Clock m_clock;
    FreeSpace m_freeSpace;
    PackageCheck m_check;
    qint64 m_stallLimit = StallLimit;
    qint64 m_lastHeard = 0;
    qint64 m_started = 0;
    State m_state = Idle;
    QHostAddress m_host;
    quint16 m_port = 0;
    QString m_projectName;
    QString m_fileName;
    qint64 m_totalBytes = 0;
    qint64 m_storedBytes = 0;
    QByteArray m_header;
    std::unique_ptr<QTemporaryFile> m_file;
    QString m_message;
    QString m_reason;
};

#endif // TRANSFERRECEIVER_H
