#ifndef AVAILABILITY_H
#define AVAILABILITY_H

#include <QByteArray>
#include <QString>
#include <QStringList>

// Whether a port's device can be reached, as its availability topics say:
// Zigbee2MQTT's <device>/availability ("online", or {"state":"online"}) and
// bridge/state, Tasmota's tele/<device>/LWT ("Online"), Shelly's
// shellies/<device>/online ("true"). A device is available until one of its
// topics says otherwise.
class Availability
{
public:
    enum State { Unknown, Online, Offline };

    Availability();

    // Empty: the device's availability is not known, so it counts as available.
    QStringList topics;
    QStringList onlineWords;
    QStringList offlineWords;

    // A payload as a plain word or a JSON object's "state"; words compared
    // without regard to case. Unknown for anything else.
    State read(const QByteArray &payload) const;

    // The topics the usual firmware publishes for the device behind a state
    // topic: Zigbee2MQTT's base topic "zigbee2mqtt", Tasmota's "stat/" and
    // "tele/" and Shelly's "shellies/". Empty for any other topic.
    static QStringList conventionTopics(const QString &stateTopic);
};

#endif // AVAILABILITY_H
