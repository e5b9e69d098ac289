#ifndef VALUEPATH_H
#define VALUEPATH_H

#include <QList>
#include <QString>

class QJsonValue;

// Where a value sits in a device's JSON payload: keys joined by ".", array
// indices in brackets, as "DS18B20.Temperature", "ENERGY.Power[0]" or
// "[1].state". Empty: the payload is the value itself.
class ValuePath
{
public:
    // Longer indices are no device's payload; they would only cost a lookup.
    static constexpr int maxIndex = 99999;

    // False, with the reason, for a path this class cannot read (an empty
    // key, a bracket without its index, an index that is not a number).
    static bool parse(const QString &text, ValuePath *path, QString *reason);

    bool isEmpty() const { return m_steps.isEmpty(); }
    QString toString() const { return m_text; }
    // The key the path starts with; empty when it starts with an index or is empty.
    QString firstKey() const { return m_steps.isEmpty() ? QString() : m_steps.first().key; }

    // The value at the path below `root`; false when any step is missing.
    bool find(const QJsonValue &root, QJsonValue *value) const;

    bool operator==(const ValuePath &other) const { return m_text == other.m_text; }

private:
    struct Step
    {
        QString key; // used when index < 0
        int index = -1;
    };
    QList<Step> m_steps;
    QString m_text;
};

#endif // VALUEPATH_H
