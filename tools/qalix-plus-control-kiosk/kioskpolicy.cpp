#include "tools/qalix-plus-control-kiosk/kioskpolicy.h"
#include "tools/qalix-plus-control-kiosk/crashcause.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {

QString settingsPath(const QString &projectsDir)
{
    return QDir(projectsDir).filePath(QStringLiteral("settings.ini"));
}

// Only a plain name of a package file that is really there: anything else
// (the dialog's "- Kein Projekt -", the default "No Project", a hand-edited
// path) leaves the choice to the operator.
bool isPackageName(const QString &projectsDir, const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    if (!name.endsWith(QLatin1String(".qlxd"), Qt::CaseInsensitive))
        return false;
    return QFileInfo(QDir(projectsDir).filePath(name)).isFile();
}

QString seconds(qint64 ms)
{
    return QString::number((ms + 500) / 1000) + QStringLiteral(" s");
}

} // namespace

KioskPolicy::KioskPolicy(bool always)
    : m_always(always)
{
}

QStringList KioskPolicy::panelArguments(const QString &projectsDir, const QStringList &passThrough)
{
    const QSettings settings(settingsPath(projectsDir), QSettings::IniFormat);
    const QString name = settings.value(QStringLiteral("projectAutoStart"), QStringLiteral("No Project")).toString();
    QStringList arguments{QStringLiteral("-fullscreen")};
    if (isPackageName(projectsDir, name))
        arguments << QDir(projectsDir).absoluteFilePath(name);
    return arguments + passThrough;
}

bool KioskPolicy::isPanelSwitch(const QString &argument)
{
    if (argument == QLatin1String("-fullscreen") || argument == QLatin1String("-topmost")
        || argument == QLatin1String("-touch"))
        return true;
    for (const char *prefix : {"-home=", "-dim=", "-stale=", "-lock=", "-wake=", "-lang="}) {
        if (argument.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}

QStringList KioskPolicy::withStaleDefault(const QStringList &passThrough)
{
    const QLatin1String stale("-stale=");
    QString last;
    for (const QString &argument : passThrough) {
        if (argument.startsWith(stale))
            last = argument;
    }
    if (last.isEmpty())
        return QStringList{stale + QString::number(defaultStaleSeconds)} + passThrough;
    // The panel itself would take a 0 for a bad value and say so.
    const bool off = last == QLatin1String("-stale=0");
    QStringList arguments;
    for (const QString &argument : passThrough) {
        if (!argument.startsWith(stale) || (!off && argument != QLatin1String("-stale=0")))
            arguments << argument;
    }
    return arguments;
}

QByteArray KioskPolicy::settingsFingerprint(const QString &projectsDir)
{
    QFile file(settingsPath(projectsDir));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    const QFileInfo info(file);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArray::number(info.lastModified().toMSecsSinceEpoch()));
    hash.addData(file.readAll());
    return hash.result();
}

int KioskPolicy::nextDelay(const Run &run)
{
    if (run.durationMs >= healthyRunMs)
        m_failures = 0;
    const bool clean = !run.crashed && run.exitCode == 0;
    if (clean && run.settingsChanged)
        return 0;
    if (clean && !m_always)
        return -1;
    // A clean end under --always also waits: a panel that ends at once (its
    // projects folder unusable, the dialog cancelled) must not be restarted in a loop.
    const int delay = m_failures >= 6 ? maxDelayMs : qMin(maxDelayMs, firstDelayMs << m_failures);
    ++m_failures;
    return delay;
}

QString KioskPolicy::restartLine(const Run &run, int delayMs)
{
    QString what;
    if (!run.startError.isEmpty())
        return QStringLiteral("the panel could not be started (%1), trying again in %2")
            .arg(run.startError, seconds(delayMs));
    if (run.crashed && run.signal != 0)
        what = QStringLiteral("the panel ") + crashCause(run.signal);
    else if (run.crashed)
        what = QStringLiteral("the panel crashed");
    else if (run.exitCode != 0)
        what = QStringLiteral("the panel ended with exit code %1").arg(run.exitCode);
    else if (run.settingsChanged)
        return QStringLiteral("options saved, starting the panel again");
    else
        what = QStringLiteral("the panel was closed");
    return QStringLiteral("%1 after %2, starting it again in %3").arg(what, seconds(run.durationMs), seconds(delayMs));
}
