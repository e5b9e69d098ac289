#ifndef QLXD_COMMANDS_H
#define QLXD_COMMANDS_H

#include <QString>
#include <QStringList>

class QTextStream;

// Every subcommand gets the arguments after its own name and returns the
// process exit code: 0 on success, 1 when the work failed, 2 for bad usage.
// A new subcommand is one file with its run function plus one line in the
// table in main.cpp.
int runPack(const QStringList &args);
int runList(const QStringList &args);
int runExtract(const QStringList &args);
int runServe(const QStringList &args);

enum ExitCode { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

QTextStream &standardOutput();
QTextStream &standardError();

// Prints "qlxd <command>: <message>" on standard error and returns `code`.
int fail(const QString &command, const QString &message, int code = ExitFailed);

// Text from a package (names, header values) made safe to print on a
// terminal: control characters become \xNN.
QString printable(const QString &text);

#endif // QLXD_COMMANDS_H
