#ifndef PORTCOMMAND_H
#define PORTCOMMAND_H

#include "payloadmapping.h"

#include <QByteArray>
#include <QString>

// What a panel's command for one output port publishes: where, as which
// payload, with which QoS and retain flag. The words and the scale come from
// the port's PayloadMapping, so that a command reads back as its state does.
class PortCommand
{
public:
    static constexpr int maxDecimals = 15;

    QString topic;
    // %v: the word or number the command sends.
    QString templateText = QStringLiteral("%v");
    // Sent for every press whatever the value ("Alles aus" always OFF); null: none.
    QString fixedWord;
    // Sent for any value but 0 and for 0, where the device takes other words
    // than it reports (TOGGLE); null: the mapping's first on and off word.
    QString onWord;
    QString offWord;
    // Digits after the point of a number sent; -1: a scaled value as an
    // integer, another as the panel sent it.
    int decimals = -1;
    int qos = 1;
    bool retain = false;

    // Sends words, not numbers: on/off, a map, or a fixed word.
    bool sendsWords(const PayloadMapping &mapping) const;

    // The payload for a panel's value; valueText as the panel sent it. False,
    // with the reason, when there is none: a value text that is not a plain
    // finite number (it would be pasted into the template as it stands), or
    // a value that no word of the map names.
    bool payload(const PayloadMapping &mapping, double value, const QString &valueText, QByteArray *payload,
                 QString *reason) const;

    // "yes" or "no", as the file has them.
    static bool yesNo(const QString &value, bool *yes);

    // How --check shows it, after the topic.
    QString describe(const PayloadMapping &mapping) const;
};

#endif // PORTCOMMAND_H
