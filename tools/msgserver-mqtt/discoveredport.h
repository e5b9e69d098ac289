#ifndef DISCOVEREDPORT_H
#define DISCOVEREDPORT_H

#include "core/bus/portid.h"
#include "discoverydocument.h"
#include "valuepath.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The port section one discovered entity makes, key by key, or why it
// makes none. On/off entities (switches, lights, binary sensors, locks,
// covers) become on/off ports, numbers and sensors numeric ones, enum
// sensors, events and a device's triggers ports of words with a map.
struct DiscoveredPort
{
    using Key = QPair<QString, QString>;

    // Seconds an event or a trigger stays up on the panels.
    static constexpr int eventSeconds = 2;

    QString why; // not empty: not mapped, and why
    PortId::Direction direction = PortId::In;
    QList<Key> keys; // as the section lists them
    QString stateTopic;
    ValuePath path;
    QString note; // what of the entity the port leaves out
    // A device trigger: its word, and the topic and value path it shares
    // with the device's other triggers, which make one port together.
    QString triggerWord;
    QString triggerGroup;

    static DiscoveredPort fromEntity(const DiscoveryDocument::Entity &entity);
    bool isMapped() const { return why.isEmpty(); }

    // A value written as "key = value" reads back as it was: no line
    // break, no comment, no white space at its ends.
    static bool fitsTheFile(const QString &value);
};

#endif // DISCOVEREDPORT_H
