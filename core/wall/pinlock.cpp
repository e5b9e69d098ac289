#include "core/wall/pinlock.h"

#include <QFile>
#include <QFileInfo>

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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
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

PinLock::Result PinLock::check(const QString &entered)
{
    if (isLockedOut())
        return Result::LockedOut;
    m_locked = false;
    QString pin;
    if (!readPin(m_path, &pin, &m_problem))
        return Result::NoPin;
    if (entered == pin) {
        m_wrong = 0;
        return Result::Accepted;
    }
    if (++m_wrong < maxWrong)
        return Result::Wrong;
    m_wrong = 0;
    m_locked = true;
    m_lockedUntil = m_clock() + lockoutMsecs;
    return Result::LockedOut;
}

QString PinLock::message(Result result) const
{
    switch (result) {
    case Result::Accepted:
        break;
    case Result::Wrong:
        return triesLeft() == 1 ? QStringLiteral("Falsche PIN. Noch ein Versuch.")
                                : QStringLiteral("Falsche PIN. Noch %1 Versuche.").arg(triesLeft());
    case Result::LockedOut: {
        const qint64 left = qMax<qint64>(0, m_lockedUntil - m_clock());
        return QStringLiteral("Zu viele falsche PINs. Gesperrt für %1 s.").arg((left + 999) / 1000);
    }
    case Result::NoPin:
        return QStringLiteral("Keine gültige PIN hinterlegt. Zugang gesperrt.");
    }
    return QString();
}
