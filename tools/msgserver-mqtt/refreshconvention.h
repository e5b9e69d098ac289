#ifndef REFRESHCONVENTION_H
#define REFRESHCONVENTION_H

#include "valuepath.h"

#include <QByteArray>
#include <QString>

// How the usual firmware behind a state topic is asked for its state now,
// so that a device that retains nothing reports after the bridge's restart:
//   zigbee2mqtt/<device>            <device>/get  {"<first key of the value>":""}
//   tele/<device>/STATE, stat/<device>/POWER<n>
//                                   cmnd/<device>/STATE, answered on stat/<device>/RESULT
//   tele/<device>/SENSOR            cmnd/<device>/STATUS 10, answered on
//                                   stat/<device>/STATUS10 below "StatusSNS"
//   <prefix>/status/<component>:<n> (Shelly Gen2)  <prefix>/command  status_update
// A Tasmota answer comes on another topic than the state; `answerTopic`
// and `answerPath` say where the port's value is in it.
struct RefreshConvention
{
    QString topic; // empty: no convention for this state topic
    QByteArray payload;
    QString answerTopic; // empty: the answer comes on the state topic itself
    ValuePath answerPath;

    static RefreshConvention forState(const QString &stateTopic, const ValuePath &path);
};

#endif // REFRESHCONVENTION_H
