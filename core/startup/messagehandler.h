#ifndef MESSAGEHANDLER_H
#define MESSAGEHANDLER_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdio>

// Where the log sink writes a message: information to standard output,
// critical and fatal messages to standard error (the reason a panel cannot
// start comes as a fatal message), debug and warning messages nowhere.
FILE *logStream(QtMsgType type);

// The bytes the log sink writes for one message: its UTF-8 text and one line
// feed, or nothing for the types it drops.
QByteArray logLine(QtMsgType type, const QString &message);

// The process's log sink: writes logLine() to logStream() and flushes at
// once, so an operator's terminal or a supervising process sees each line as
// it happens. Install it before the application object exists.
void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

#endif // MESSAGEHANDLER_H
