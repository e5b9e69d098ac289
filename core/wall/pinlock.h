#ifndef PINLOCK_H
#define PINLOCK_H

#include <QString>
#include <QCoreApplication>

#include <functional>

// The PIN that guards the exit and options buttons. It is read from its file
// at every check, so a changed file needs no restart. Five wrong PINs in a row
// lock the pad for a minute, and every further lock-out before a right PIN
// twice as long as the one before, up to an hour: trying every four-digit
// PIN then takes 83 days, not 33 hours. With a record the count and a
// lock-out outlast a restart of the panel.
class PinLock
{
    Q_DECLARE_TR_FUNCTIONS(PinLock)

public:
    // Milliseconds on a monotonic clock; since the epoch for the wall clock.
    using Clock = std::function<qint64()>;

    static constexpr int maxWrong = 5;
    static constexpr qint64 lockoutMsecs = 60000;
    static constexpr qint64 maxLockoutMsecs = 3600000;
    // The record is a few dozen bytes; anything larger is not one.
    static constexpr qint64 maxRecordBytes = 4096;

    enum class Result { Accepted, Wrong, LockedOut, NoPin };

    PinLock(const QString &path, Clock clock);

    // Keeps the wrong PINs and the lock-out in the file at `recordPath`,
    // replaced whole at every change, and takes them up from it now. A record
    // that cannot be read as one is told on standard error and counts as
    // none; a lock-out taken up lasts at most its own length, whatever the
    // wall clock did meanwhile. `wallClock` replaces the system's (tests).
    void keepRecord(const QString &recordPath, Clock wallClock = {});

    // The PIN in the file at `path`: its first line, four to eight digits, with
    // blanks, a carriage return or a byte-order mark around them. False, with
    // the reason in *problem, for anything else.
    static bool readPin(const QString &path, QString *pin, QString *problem);

    // The length of the n-th lock-out in a row (from 1).
    static qint64 lockoutLength(int lockouts);

    // Checks an entered PIN against the file as it is now. While locked out
    // nothing is checked.
    Result check(const QString &entered);
    bool isLockedOut() const;
    // Wrong PINs left before the lock-out.
    int triesLeft() const { return maxWrong - m_wrong; }
    // Lock-outs in a row since the last right PIN.
    int lockouts() const { return m_lockouts; }

    QString path() const { return m_path; }
    // Why the last check found no PIN, for standard error.
    QString problem() const { return m_problem; }
    // What the operator is told, in German.
    QString message(Result result) const;

private:
    void takeUpRecord();
    void writeRecord();
    void complain(const QString &text);

    QString m_path;
    Clock m_clock;
    Clock m_wallClock;
    QString m_recordPath;
    int m_wrong = 0;
    int m_lockouts = 0;
    bool m_locked = false;
    qint64 m_lockedUntil = 0;
    QString m_problem;
    QString m_recordSaid;
};

#endif // PINLOCK_H
