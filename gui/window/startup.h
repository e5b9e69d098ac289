#ifndef STARTUP_H
#define STARTUP_H

#include <QByteArray>
#include <QString>

// Steps of the program start that need no window, kept apart from main() so
// they can be tested one by one.

// Creates the projects directory when it is missing and opens (creating it if
// needed) the probe file "testFile" in it for reading and writing. False when
// the directory cannot hold the panel's files.
bool probeProjectDirectory(const QString &directory);

// When the projects directory is writable for its group (an installation
// shared by a group's members), takes the group bits out of the process's
// umask: the files and folders the panel makes there (probe file, settings,
// pictures, packages) must stay replaceable by the group's other users.
// Otherwise the umask is left alone.
void shareProjectFilesWithGroup(const QString &directory);

// Registers ":/font/normal" and logs its identifier and family names, e.g.
// 0 ("Prototype"). Returns the identifier, -1 on failure.
int registerApplicationFont();

// Seeds the page identifiers' generator with the milliseconds since local
// midnight (0 without a valid clock).
void seedRandomGenerator();

// Why -topmost cannot work on the Qt platform `platformName`, for standard
// error; empty where it can. Wayland leaves the stacking of windows to the
// compositor.
QString topmostProblem(const QString &platformName);

// Shows what the operator reads in `language` ("de", "en"): German is the
// source and needs nothing; another language's translation, built in, is
// installed in place of the one before. Dates follow the language too.
// False when the translation cannot be loaded (the texts stay German).
bool installTranslation(const QString &language);

// Reads the main and the platform style sheet, in this order, and joins them.
// False when either cannot be opened; *styleSheet is then left alone.
bool readStyleSheet(const QString &mainPath, const QString &platformPath, QString *styleSheet);

// The main sheet, two line feeds, the platform sheet; each read as UTF-8 up to
// its first zero byte.
QString joinStyleSheets(const QByteArray &mainSheet, const QByteArray &platformSheet);

#endif // STARTUP_H
