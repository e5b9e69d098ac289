#ifndef BRIDGECONFIG_H
#define BRIDGECONFIG_H

#include "portconfig.h"

#include <QByteArray>
#include <QHostAddress>
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

    // What a panel can take and send back: a report line longer than the
    // panel's line bound drops its connection, and the panel sends object
    // names in Latin-1.
    static constexpr int maxObjectBytes = 256;
    // The configuration and the cafile: a few kilobytes each.
    static constexpr qint64 maxFileBytes = 4 * 1024 * 1024;
    static constexpr int maxTopicBytes = PortConfig::maxTopicBytes;
    static constexpr int maxPrefixBytes = 512;
    static constexpr int maxLoginBytes = 256; // panel user, panel password
    static constexpr quint16 defaultListenPort = 64401;

    QString url = QStringLiteral("mqtt://127.0.0.1:1883");
    QString host = QStringLiteral("127.0.0.1");
    int brokerPort = 1883;
    bool tls = false;
    QString cafile;
    QString certfile; // client certificate, for brokers that require one
    QString keyfile;
    QString clientId;
    QString brokerUser;
    QString brokerPassword;
    QString prefix = QStringLiteral("qalix");
    // Clean session off, so that the broker keeps what arrives while the
    // bridge restarts.
    bool persistentSession = true;
    // MQTT keep-alive in seconds: a frozen broker or a cut network is
    // noticed within about one and a half of them.
    int keepAliveSeconds = 10;
    static constexpr int minKeepAlive = 5; // libmosquitto's least
    static constexpr int maxKeepAlive = 65535;
    // A configured state topic without any message this long after the
    // first connect is named once (a typo, an ACL that withholds it); 0: never.
    int silentAfterSeconds = 3600;
    static constexpr int maxSilentAfter = 7 * 24 * 3600;
    QString panelUser;
    QString panelPassword;
    QHostAddress listenAddress = QHostAddress(QHostAddress::LocalHost);
    quint16 listenPort = defaultListenPort;
    QList<Port> ports;

    // False with error() set to "FILE:LINE: reason" (no line for a missing file).
    bool load(const QString &fileName);
    bool parse(const QByteArray &text, const QString &fileName);
    QString error() const { return m_errorText; }
    // "FILE:LINE: …" for keys that do nothing; the file still loads.
    QStringList warnings() const { return m_warningTexts; }

    // What maps where, for --check.
    QString describe() const;

    // A port section's name: an address as the panel writes it ("OUT.A.01"
    // is none) of a port the bridge carries; invalid otherwise.
    static PortId parseAddress(const QString &text);
    // A panel can show and switch the port, and its object is one topic level.
    static bool carries(const PortId &port);
    // Why a panel could not show or switch a port of this object name; empty when it can.
    static QString objectNameFault(const QString &name);
    // "ADDR:PORT" or "[IPv6]:PORT"; port 0 picks a free one.
    static bool parseListen(const QString &text, QHostAddress *address, quint16 *port);
    // The port under the prefix that a topic names (<prefix>/<OUT|IN>/<object>/<port>).
    bool prefixPort(const QString &topic, Port *port) const;
    // State and command topics of a port without a section.
    QString prefixState(const PortId &port) const;
    // <prefix>/bridge/state: "online" while the bridge is connected,
    // "offline" after it; empty without a prefix.
    QString stateTopic() const;
    // Why a topic shaped like a port under the prefix names none; empty for
    // a port or for a topic of another shape.
    QString prefixTopicFault(const QString &topic) const;

private:
    bool fail(int line, const QString &reason);
    bool setUrl(const QString &value, QString *reason);
    bool takeUrlLogin(QString *rest, QString *reason);
    bool checkCafile(int line);
    bool completePorts();
    void setClientCertificate(const QString &key, const QString &value, int lineNo);
    bool checkClientCertificate();

    QString m_fileName;
    QString m_errorText;
    QStringList m_warningTexts;
    QString m_urlUser;
    QString m_urlPassword;
    int m_certfileLine = 0;
    int m_keyfileLine = 0;
};

#endif // BRIDGECONFIG_H
