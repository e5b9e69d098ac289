#include "core/wall/pinlock.h"

#include "core/files/regularfile.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

PinLock::PinLock(const QString &path, Clock clock)
    : m_path(path)
    , m_clock(std::move(clock))
{
}

bool PinLock::readPin(const QString &path, QString *pin, QString *problem)
{
    const auto fail = [&](const QString &why) {
        if (problem)
            *problem = QStringLiteral("PIN file %1: %2").arg(path, why);
        return false;
    };
    // Only a plain file: opening a pipe for reading would block the panel.
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("no such file"));
    QFile file;
    QString why;
    if (!RegularFile::open(file, path, &why))
        return fail(why);
    QByteArray line = file.readLine(80);
    if (!line.endsWith('\n') && !file.atEnd())
        return fail(QStringLiteral("the first line is too long"));
    if (line.startsWith("\xEF\xBB\xBF"))
        line.remove(0, 3);
    line = line.trimmed();
    const bool digits = std::all_of(line.cbegin(), line.cend(), [](char c) { return c >= '0' && c <= '9'; });
    if (line.size() < 4 || line.size() > 8 || !digits)
        return fail(QStringLiteral("the first line holds no PIN of four to eight digits"));
    if (pin)
        *pin = QString::fromLatin1(line);
    return true;
}

bool PinLock::isLockedOut() const
{
    return m_locked && m_clock() < m_lockedUntil;
}

qint64 PinLock::lockoutLength(int lockouts)
{
    qint64 length = lockoutMsecs;
    for (int i = 1; i < lockouts && length < maxLockoutMsecs; ++i)
        length *= 2;
    return qMin(length, maxLockoutMsecs);
}

PinLock::Result PinLock::check(const QString &entered)
{
    if (isLockedOut())
        return Result::LockedOut;
    m_locked = false;
    QString pin;
    if (!readPin(m_path, &pin, &m_problem))
        return Result::NoPin;
    if (entered == pin) {
        const bool counted = m_wrong > 0 || m_lockouts > 0;
        m_wrong = 0;
        m_lockouts = 0;
        if (counted)
            writeRecord();
        return Result::Accepted;
    }
    if (++m_wrong < maxWrong) {
        writeRecord();
        return Result::Wrong;
    }
    m_wrong = 0;
    m_locked = true;
    m_lockouts = qMin(m_lockouts + 1, 64);
    m_lockedUntil = m_clock() + lockoutLength(m_lockouts);
    writeRecord();
    return Result::LockedOut;
}

void PinLock::keepRecord(const QString &recordPath, Clock wallClock)
{
    m_recordPath = recordPath;
    m_wallClock = wallClock ? std::move(wallClock) : Clock([] { return QDateTime::currentMSecsSinceEpoch(); });
    takeUpRecord();
}

void PinLock::complain(const QString &text)
{
    // Once per text: a folder that cannot be written fails at every try.
    if (text == m_recordSaid)
        return;
    m_recordSaid = text;
    qCritical().noquote() << QStringLiteral("PIN record %1: %2").arg(m_recordPath, text);
}

void PinLock::takeUpRecord()
{
    QByteArray bytes;
    QString why;
    if (!QFileInfo::exists(m_recordPath) && !QFileInfo(m_recordPath).isSymLink())
        return;
    if (!RegularFile::read(m_recordPath, maxRecordBytes, &bytes, &why))
        return complain(why + QStringLiteral("; the count starts anew"));
    // "wrong=N", "lockouts=N", "until=MSECS" (the wall clock's), one a line.
    qint64 values[3] = {-1, -1, -1};
    const char *const keys[] = {"wrong=", "lockouts=", "until="};
    for (const QByteArray &line : bytes.split('\n')) {
        if (line.isEmpty())
            continue;
        int k = 0;
        while (k < 3 && !line.startsWith(keys[k]))
            ++k;
        const QByteArray digits = k < 3 ? line.mid(int(qstrlen(keys[k]))) : QByteArray();
        bool ok = !digits.isEmpty() && digits.size() <= 15
            && std::all_of(digits.cbegin(), digits.cend(), [](char c) { return c >= '0' && c <= '9'; });
        if (!ok || values[k] >= 0)
            return complain(QStringLiteral("not a record of wrong PINs; the count starts anew"));
        values[k] = digits.toLongLong();
    }
    if (values[0] < 0 || values[0] >= maxWrong || values[1] < 0 || values[1] > 64 || values[2] < 0)
        return complain(QStringLiteral("not a record of wrong PINs; the count starts anew"));
    m_wrong = int(values[0]);
    m_lockouts = int(values[1]);
    // A lock-out lasts no longer than its own length, though the wall clock
    // went back, or forward and back again, while the panel was down.
    const qint64 left = qBound<qint64>(0, values[2] - m_wallClock(), lockoutLength(m_lockouts));
    if (m_lockouts > 0 && left > 0) {
        m_locked = true;
        m_lockedUntil = m_clock() + left;
    }
}

void PinLock::writeRecord()
{
    if (m_recordPath.isEmpty())
        return;
    const qint64 until = isLockedOut() ? m_wallClock() + (m_lockedUntil - m_clock()) : 0;
    QSaveFile record(m_recordPath);
    const QByteArray text = "wrong=" + QByteArray::number(m_wrong) + "\nlockouts=" + QByteArray::number(m_lockouts)
        + "\nuntil=" + QByteArray::number(until) + '\n';
    if (!record.open(QIODevice::WriteOnly) || record.write(text) != text.size() || !record.commit())
        complain(QStringLiteral("cannot be written (%1); a restart starts the count anew").arg(record.errorString()));
}

QString PinLock::message(Result result) const
{
    switch (result) {
    case Result::Accepted:
        break;
    case Result::Wrong:
        return triesLeft() == 1 ? tr("Falsche PIN. Noch ein Versuch.")
                                : tr("Falsche PIN. Noch %1 Versuche.").arg(triesLeft());
    case Result::LockedOut: {
        const qint64 left = qMax<qint64>(0, m_lockedUntil - m_clock());
        return tr("Zu viele falsche PINs. Gesperrt für %1 s.").arg((left + 999) / 1000);
    }
    case Result::NoPin:
        return tr("Keine gültige PIN hinterlegt. Zugang gesperrt.");
    }
    return QString();
}
