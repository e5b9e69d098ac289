#ifndef DISCOVERYDOCUMENT_H
#define DISCOVERYDOCUMENT_H

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// A Home Assistant discovery document as gateways publish it, retained, on
// <prefix>/<component>/[<node_id>/]<object_id>/config, or for a whole
// device on <prefix>/device/<object_id>/config: its entities, each with its
// options under their long names ("stat_t" is "state_topic"), its base
// topic "~" put in place, and a device document's shared options given to
// each of its components.
class DiscoveryDocument
{
public:
    struct Entity
    {
        QString topic;       // the discovery topic
        QString component;   // "sensor", "switch", …
        QString id;          // node and object id, or the device document's component key
        QJsonObject options; // long names
        QJsonObject device;  // long names
    };

    static constexpr int maxComponents = 1000; // of one device document

    // False, with the reason, for a topic of another shape or a payload
    // that is no JSON object; `entities` gets those it holds.
    static bool read(const QString &prefix, const QString &topic, const QByteArray &payload, QList<Entity> *entities,
                     QString *reason);

    // The long name of an abbreviated option, or of a device's; any other key as it is.
    static QString longKey(const QString &key);
    static QString longDeviceKey(const QString &key);
};

#endif // DISCOVERYDOCUMENT_H
