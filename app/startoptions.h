#ifndef STARTOPTIONS_H
#define STARTOPTIONS_H

#include <QString>
#include <QStringList>

// What the command line asks for. Switches are whole arguments, matched
// case-sensitively, and may stand anywhere; every occurrence is removed before
// the project path is taken, so "-FullScreen" is a path, not a switch.
struct StartOptions
{
    bool fullscreen = false;
    bool topmost = false;
    // False when only the program path is left: the operator picks a project.
    bool hasProjectPath = false;
    QString projectPath;

    // arguments as QCoreApplication::arguments(): the program path first.
    static StartOptions parse(QStringList arguments);

    bool operator==(const StartOptions &other) const;
    QString toString() const;
};

#endif // STARTOPTIONS_H
