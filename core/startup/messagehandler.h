#ifndef MESSAGEHANDLER_H
#define MESSAGEHANDLER_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdio>

// Where the log sink writes a message of `category`: information to standard
// output, critical and fatal messages to standard error, debug and warning
// messages nowhere, except warnings of Qt's platform plugins ("qt.qpa" and
// below): they carry why a panel cannot start (no display, say), which the
// fatal message that follows does not. So does the warning with which Qt
// ends the process when the display's connection breaks (the compositor or
// X server went away).
FILE *logStream(QtMsgType type, const char *category = nullptr, const QString &message = QString());

// Whether `message` is Qt's last word before it ends the process over a
// broken display connection.
bool isDisplayLost(const QString &message);

// The bytes the log sink writes for one message: its UTF-8 text and one line
// feed, or nothing for the messages it drops.
QByteArray logLine(QtMsgType type, const QString &message, const char *category = nullptr);

// The process's log sink: writes logLine() to logStream() and flushes at
// once, so an operator's terminal or a supervising process sees each line as
// it happens. Before a message after which Qt ends the process it switches a
// darkened backlight on again. Install it before the application object exists.
void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

#endif // MESSAGEHANDLER_H
