#ifndef BRIDGECONFIG_H
#define BRIDGECONFIG_H

#include "portconfig.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The bridge's INI file: the broker, the panels' login and one section per
// port. Read by hand rather than with QSettings, so that every fault names
// its line and unknown keys are refused instead of ignored.
class BridgeConfig
{
public:
    using Port = PortConfig;

    QString url = QStringLiteral("mqtt://127.0.0.1:1883");
    QString host = QStringLiteral("127.0.0.1");
    int brokerPort = 1883;
    bool tls = false;
    QString cafile;
    QString clientId;
    QString brokerUser;
    QString brokerPassword;
    QString prefix = QStringLiteral("qalix");
    // Clean session off, so that the broker keeps what arrives while the
    // bridge restarts.
    bool persistentSession = true;
    QString panelUser;
    QString panelPassword;
    QList<Port> ports;

    // False with error() set to "FILE:LINE: reason" (no line for a missing file).
    bool load(const QString &fileName);
    bool parse(const QByteArray &text, const QString &fileName);
    QString error() const { return errorText; }
    // "FILE:LINE: …" for keys that do nothing; the file still loads.
    QStringList warnings() const { return warningTexts; }

    // What maps where, for --check.
    QString describe() const;

    // A port address as on the wire: "OUT" or "IN", object, decimal port.
    static bool parseAddress(const QString &text, QString *object, int *port, bool *output);
    // The port under the prefix that a topic names (<prefix>/<OUT|IN>/<object>/<port>).
    bool prefixPort(const QString &topic, Port *port) const;
    // State and command topics of a port without a section.
    QString prefixState(const QString &object, int port, bool output) const;

private:
    bool fail(int line, const QString &reason);
    bool setUrl(const QString &value, QString *reason);
    bool takeUrlLogin(QString *rest, QString *reason);
    bool checkCafile(int line);
    bool completePorts();

    QString fileName;
    QString errorText;
    QStringList warningTexts;
    QString urlUser;
    QString urlPassword;
};

#endif // BRIDGECONFIG_H
