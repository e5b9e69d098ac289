#ifndef BRIDGELOG_H
#define BRIDGELOG_H

#include <QLoggingCategory>

// The bridge's logging categories, "qalix.mqtt.<part>". Their information
// lines are the operator's: standard output, as they are. Their warnings and
// critical lines are faults: standard error, one line each behind
// "msgserver-mqtt: ". Debug lines (--verbose) and other categories' messages
// are written as Qt writes them.
Q_DECLARE_LOGGING_CATEGORY(lcBridge) // panels, values, commands
Q_DECLARE_LOGGING_CATEGORY(lcBroker) // the broker connection
Q_DECLARE_LOGGING_CATEGORY(lcCheck)  // --check and --connect

// Installs the message handler that writes the lines so.
void installBridgeMessageHandler();

#endif // BRIDGELOG_H
