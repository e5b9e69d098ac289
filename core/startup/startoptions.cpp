#include "core/startup/startoptions.h"

#include "core/bus/portid.h"

#include <QFileInfo>

namespace {

// A positive whole number of seconds in plain ASCII digits; 0 for anything else.
int parseSeconds(const QString &text)
{
    if (text.isEmpty() || text.size() > 9)
        return 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
    }
    return text.toInt();
}

// The state keys of a comma-separated list of ports, each a state key or an
// address; empty when any of them names no port.
QStringList parsePorts(const QString &text)
{
    QStringList keys;
    for (const QString &field : text.split(QLatin1Char(','))) {
        PortId port = PortId::fromStateKey(field);
        if (!port.isValid())
            port = PortId::fromAddress(field);
        if (!port.isValid())
            return QStringList();
        if (!keys.contains(port.toStateKey()))
            keys << port.toStateKey();
    }
    return keys;
}

} // namespace

const QStringList StartOptions::languages{QStringLiteral("de"), QStringLiteral("en")};

StartOptions StartOptions::parse(QStringList arguments)
{
    StartOptions options;
    options.fullscreen = arguments.removeAll(QStringLiteral("-fullscreen")) > 0;
    options.topmost = arguments.removeAll(QStringLiteral("-topmost")) > 0;
    options.touch = arguments.removeAll(QStringLiteral("-touch")) > 0;

    const struct
    {
        QLatin1String prefix;
        int StartOptions::*seconds;
    } timed[] = {
        {QLatin1String("-home="), &StartOptions::homeSeconds},
        {QLatin1String("-dim="), &StartOptions::dimSeconds},
        {QLatin1String("-stale="), &StartOptions::staleSeconds},
    };
    const QLatin1String lockPrefix("-lock=");
    const QLatin1String wakePrefix("-wake=");
    const QLatin1String languagePrefix("-lang=");
    // The program path stays, whatever it is called.
    for (int i = 1; i < arguments.size();) {
        const QString &argument = arguments.at(i);
        bool taken = false;
        for (const auto &option : timed) {
            if (!argument.startsWith(option.prefix))
                continue;
            taken = true;
            const int seconds = parseSeconds(argument.mid(option.prefix.size()));
            if (seconds > 0)
                options.*option.seconds = seconds;
            else
                options.problems << QStringLiteral("%1: not a whole number of seconds from 1 to %2, switch ignored")
                                        .arg(argument)
                                        .arg(maxSeconds);
        }
        if (argument.startsWith(lockPrefix)) {
            taken = true;
            const QString path = argument.mid(lockPrefix.size());
            // A missing file is a typing error; one that exists but holds no
            // valid PIN keeps the buttons locked (each press says why).
            if (!path.isEmpty() && QFileInfo(path).isFile())
                options.pinFile = QFileInfo(path).absoluteFilePath();
            else
                options.problems << QStringLiteral("%1: no PIN file there, switch ignored").arg(argument);
        }
        if (argument.startsWith(wakePrefix)) {
            taken = true;
            const QStringList keys = parsePorts(argument.mid(wakePrefix.size()));
            if (!keys.isEmpty())
                options.wakeKeys = keys;
            else
                options.problems << QStringLiteral("%1: not a list of ports (ITM_Alarm_IN1 or IN.Alarm.1, "
                                                   "separated by commas), switch ignored")
                                        .arg(argument);
        }
        if (argument.startsWith(languagePrefix)) {
            taken = true;
            const QString language = argument.mid(languagePrefix.size());
            if (languages.contains(language))
                options.language = language;
            else
                options.problems << QStringLiteral("%1: no such language (%2), switch ignored")
                                        .arg(argument, languages.join(QStringLiteral(", ")));
        }
        if (taken)
            arguments.removeAt(i);
        else
            ++i;
    }

    // Anything after the first path is ignored.
    if (arguments.size() >= 2) {
        options.hasProjectPath = true;
        options.projectPath = arguments.at(1);
    }
    return options;
}

bool StartOptions::startedByLauncher()
{
    return qEnvironmentVariableIsSet(launcherVariable);
}

bool StartOptions::operator==(const StartOptions &other) const
{
    return fullscreen == other.fullscreen && topmost == other.topmost && hasProjectPath == other.hasProjectPath
        && projectPath == other.projectPath && homeSeconds == other.homeSeconds && dimSeconds == other.dimSeconds
        && staleSeconds == other.staleSeconds && pinFile == other.pinFile && touch == other.touch
        && wakeKeys == other.wakeKeys && language == other.language && problems == other.problems;
}

QString StartOptions::toString() const
{
    QString text =
        QStringLiteral("fullscreen=%1 topmost=%2 path=%3")
            .arg(fullscreen)
            .arg(topmost)
            .arg(hasProjectPath ? QLatin1Char('"') + projectPath + QLatin1Char('"') : QStringLiteral("(none)"));
    if (homeSeconds || dimSeconds || staleSeconds)
        text += QStringLiteral(" home=%1 dim=%2 stale=%3").arg(homeSeconds).arg(dimSeconds).arg(staleSeconds);
    if (!pinFile.isEmpty())
        text += QStringLiteral(" lock=\"%1\"").arg(pinFile);
    if (touch)
        text += QStringLiteral(" touch");
    if (!wakeKeys.isEmpty())
        text += QStringLiteral(" wake=") + wakeKeys.join(QLatin1Char(','));
    text += QStringLiteral(" lang=") + language;
    for (const QString &problem : problems)
        text += QStringLiteral(" [%1]").arg(problem);
    return text;
}
