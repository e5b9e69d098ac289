#ifndef PORTCONFIG_H
#define PORTCONFIG_H

#include "availability.h"
#include "core/bus/portid.h"
#include "payloadmapping.h"
#include "portcommand.h"
#include "valuepath.h"

#include <QByteArray>
#include <QList>
#include <QString>

// One port section of the bridge's INI file: where the port's state comes
// from and how it reads, whether its device can be reached, where its
// commands go. Filled key by key, then completed with the defaults.
class PortConfig
{
public:
    struct State
    {
        QString topic;
        ValuePath path;
        // Other messages come there too (Tasmota's stat/<device>/RESULT
        // answers every command; a momentary input's device reports its
        // other fields): one with nothing for this port is passed over in
        // silence, not written as a fault.
        bool shared = false;
    };
    // state, state2 … state4: a device that reports on several topics
    // (Tasmota's stat/<device>/POWER and tele/<device>/STATE).
    static constexpr int maxStates = 4;
    // A longer topic is refused as it arrives: no device needs one, and a
    // flood of them must not cost the bridge its memory.
    static constexpr int maxTopicBytes = 1024;

    PortId id;           // the section's name
    QList<State> states; // the first names the defaults
    PortCommand command;
    PayloadMapping mapping;
    Availability availability;
    // What makes the device report now: the refresh key, or else its
    // firmware's convention (RefreshConvention); empty: none.
    QString refreshTopic;
    QByteArray refreshPayload;
    // Where a convention's answer comes when not on a state topic (Tasmota's
    // stat/<device>/RESULT): read as a state, shared.
    QList<State> answers;
    // A value older than this many seconds is unknown to the panels; 0: never.
    int expireAfterSeconds = 0;
    static constexpr int maxExpireAfter = 366 * 24 * 3600;
    // A momentary input (a button's action): back to 0 this many seconds
    // after its last message with another value; 0: never.
    int resetAfterSeconds = 0;
    static constexpr int maxResetAfter = 24 * 3600;
    int line = 0; // of the section header; 0 for a port under the prefix

    QString address() const { return id.toAddress(); }
    bool hasState(const QString &topic) const;

    static QStringList keys();
    // The keys of what a command publishes; output ports only.
    static QStringList commandKeys();
    // One key of the section; false with the reason when its value is bad.
    bool set(const QString &key, const QString &value, QString *reason);
    // After the section: defaults from the first state topic (or `prefixState`
    // when it has none) and the checks between keys.
    bool complete(const QString &prefixState, QString *reason);
    // A warning about keys that do nothing, empty when there is none.
    QString uselessKeys() const;
    QString describe() const;

    // A topic the bridge subscribes to or publishes on: one topic, no
    // wildcard, within maxTopicBytes.
    static bool validTopic(const QString &topic);

private:
    // Why `topic`, given for `key`, is no valid topic.
    static QString topicFault(const QString &key, const QString &topic);
    bool setMapping(const QString &key, const QString &value, QString *reason);
    bool setCommand(const QString &key, const QString &value, QString *reason);
    bool completeCommand(QString *reason);

    // As given by state, state2 … and value, value2 …; null when not given.
    QString m_givenTopics[maxStates];
    ValuePath m_givenPaths[maxStates];
    bool m_pathGiven[maxStates] = {};
    bool m_availabilityGiven = false;
    QStringList m_commandKeys; // as given
    bool m_refreshGiven = false;
};

#endif // PORTCONFIG_H
