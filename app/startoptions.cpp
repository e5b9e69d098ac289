#include "app/startoptions.h"

StartOptions StartOptions::parse(QStringList arguments)
{
    StartOptions options;
    options.fullscreen = arguments.removeAll(QStringLiteral("-fullscreen")) > 0;
    options.topmost = arguments.removeAll(QStringLiteral("-topmost")) > 0;
    // Anything after the first path is ignored.
    if (arguments.size() >= 2) {
        options.hasProjectPath = true;
        options.projectPath = arguments.at(1);
    }
    return options;
}

bool StartOptions::operator==(const StartOptions &other) const
{
    return fullscreen == other.fullscreen && topmost == other.topmost
        && hasProjectPath == other.hasProjectPath && projectPath == other.projectPath;
}

QString StartOptions::toString() const
{
    return QStringLiteral("fullscreen=%1 topmost=%2 path=%3")
        .arg(fullscreen)
        .arg(topmost)
        .arg(hasProjectPath ? QLatin1Char('"') + projectPath + QLatin1Char('"')
                            : QStringLiteral("(none)"));
}
