#ifndef STATEKEY_H
#define STATEKEY_H

#include <QString>

// The key an item is bound to and a port report is stored under:
// "ITM_<object>_OUT<port>" or "ITM_<object>_IN<port>", e.g. ITM_Kueche_OUT3.
// The object name may itself hold "_"; the last one separates the port.
class StateKey
{
public:
    enum Direction { Out, In };

    StateKey() = default;
    StateKey(QString object, Direction direction, int port);

    // An invalid key for anything that names no port: another prefix, an
    // empty object, a direction other than OUT/IN, a port of no or more than
    // nine digits.
    static StateKey parse(const QString &text);

    bool isValid() const { return m_valid; }
    const QString &object() const { return m_object; }
    Direction direction() const { return m_direction; }
    bool isOutput() const { return m_direction == Out; }
    int port() const { return m_port; }

    QString toString() const;
    // The same text without making a key.
    static QString text(const QString &object, Direction direction, int port);
    // The same into `key`, whose memory is used again: no allocation for
    // every report.
    static void write(QString *key, const QString &object, Direction direction, int port);
    // `number` in decimal, as QString::number writes it, appended to `text`.
    static void appendDecimal(QString &text, qint64 number);

private:
    QString m_object;
    Direction m_direction = Out;
    int m_port = 0;
    bool m_valid = false;
};

#endif // STATEKEY_H
