#ifndef MESSAGEHANDLER_H
#define MESSAGEHANDLER_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The bytes the log sink writes for one message: information messages as
// their UTF-8 text and one line feed, every other type nothing.
QByteArray logLine(QtMsgType type, const QString &message);

// The process's log sink: writes logLine() to standard output and flushes at
// once, so an operator's terminal or a supervising process sees each line as
// it happens. Install it before the application object exists.
void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

#endif // MESSAGEHANDLER_H
