#ifndef DISCOVERYREPORT_H
#define DISCOVERYREPORT_H

#include "bridgeconfig.h"
#include "discoveredport.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// What --discover prints: a port section for every discovered entity it
// can map, with a comment naming the device and the entity, and a comment
// saying why for every other. Object names come from the devices' names
// (Latin-1 letters and digits, unique), port numbers count per device. The
// ports the configuration has already keep their place: an entity it maps
// is named, not mapped again, and new ones take the numbers it leaves free.
// Appended to the configuration, the text loads as it stands.
class DiscoveryReport
{
public:
    static constexpr int maxEntities = 100000;
    static constexpr int maxListedFaults = 100; // documents not read
    static constexpr int maxNameCharacters = 40;
    static constexpr int maxShownCharacters = 120; // of a name or topic in a comment

    DiscoveryReport(const BridgeConfig &config, const QString &prefix);

    void add(const QString &topic, const QByteArray &payload);
    int documents() const { return m_documents; }

    // `ports`: how many sections it holds.
    QString render(int *ports = nullptr) const;

    // Letters and digits of Latin-1, those beyond without their accents,
    // "_" for the rest; never empty.
    static QString objectName(const QString &deviceName);

private:
    struct Found
    {
        DiscoveredPort port;
        QString deviceKey;
        QString deviceName;
        QString deviceInfo; // manufacturer and model
        QString entity;     // the component and the entity's name
        QString topic;      // of the discovery document
        QString id;
        QString mappedAs; // the configured port that reads the same, when there is one
    };

    QList<Found> merged() const;

    BridgeConfig m_config;
    QString m_prefix;
    QList<Found> m_found;
    QStringList m_unread; // "topic: reason", the first ones
    int m_documents = 0;
    int m_unreadCount = 0;
    int m_dropped = 0;
};

#endif // DISCOVERYREPORT_H
