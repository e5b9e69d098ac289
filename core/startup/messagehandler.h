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
// fatal message that follows does not.
FILE *logStream(QtMsgType type, const char *category = nullptr);

// The bytes the log sink writes for one message: its UTF-8 text and one line
// feed, or nothing for the messages it drops.
QByteArray logLine(QtMsgType type, const QString &message, const char *category = nullptr);

// The process's log sink: writes logLine() to logStream() and flushes at
// once, so an operator's terminal or a supervising process sees each line as
// it happens. Install it before the application object exists.
void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

#endif // MESSAGEHANDLER_H
