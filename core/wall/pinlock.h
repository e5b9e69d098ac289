#ifndef PINLOCK_H
#define PINLOCK_H

#include <QString>

#include <functional>

// The PIN that guards the exit and options buttons. It is read from its file
// at every check, so a changed file needs no restart. Five wrong PINs in a row
// lock the pad for a minute; nothing else happens.
class PinLock
{
public:
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    static constexpr int maxWrong = 5;
    static constexpr qint64 lockoutMsecs = 60000;

    enum class Result { Accepted, Wrong, LockedOut, NoPin };

    PinLock(const QString &path, Clock clock);

    // The PIN in the file at `path`: its first line, four to eight digits, with
    // blanks, a carriage return or a byte-order mark around them. False, with
    // the reason in *problem, for anything else.
    static bool readPin(const QString &path, QString *pin, QString *problem);

    // Checks an entered PIN against the file as it is now. While locked out
    // nothing is checked.
    Result check(const QString &entered);
    bool isLockedOut() const;
    // Wrong PINs left before the lock-out.
    int triesLeft() const { return maxWrong - m_wrong; }

    QString path() const { return m_path; }
    // Why the last check found no PIN, for standard error.
    QString problem() const { return m_problem; }
    // What the operator is told, in German.
    QString message(Result result) const;

private:
    QString m_path;
    Clock m_clock;
    int m_wrong = 0;
    bool m_locked = false;
    qint64 m_lockedUntil = 0;
    QString m_problem;
};

#endif // PINLOCK_H
