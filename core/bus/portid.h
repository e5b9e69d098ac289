#ifndef PORTID_H
#define PORTID_H

#include <QByteArray>
#include <QString>

#include <utility>

// Which port a text names: a direction, an object (a bus module, or a device
// behind the bridge) and a port number, "output 3 of Kueche". Every text form
// of that fact is written and read here and nowhere else:
//   state key         ITM_Kueche_OUT3        items' port property, the live state
//   address           OUT.Kueche.3           "P" lines both ways, the bridge's
//                                            sections, the simulator's port list
//   convention topic  <prefix>/OUT/Kueche/3  the bridge's ports without a section
class PortId
{
public:
    enum Direction { Out, In };

    PortId() = default;
    PortId(Direction direction, QString object, int port);

    // False for a default one and for a text that names no port.
    bool isValid() const { return m_valid; }
    Direction direction() const { return m_direction; }
    bool isOutput() const { return m_direction == Out; }
    const QString &object() const & { return m_object; }
    QString object() && { return std::move(m_object); }
    int port() const { return m_port; }

    // "ITM_" object "_" "OUT" or "IN" port.
    QString toStateKey() const;
    // The same into `key`, whose memory is used again: no allocation for
    // every report.
    static void writeStateKey(QString *key, const QString &object, Direction direction, int port);
    // Invalid for another prefix, an empty object, a direction other than
    // OUT/IN, a port of no or more than nine digits. The object may hold "_":
    // the last one separates the port.
    static PortId fromStateKey(const QString &text);
    // The key of a bus port of unknown type: no direction ("ITM_12_5"), so
    // no report and no press ever matches it.
    static QString undirectedStateKey(const QString &object, int port);

    // "OUT" or "IN" "." object "." port.
    QString toAddress() const;
    // As the panel sends it: Latin-1, "?" for a character outside it.
    QByteArray toLatin1Address() const;
    // As a server reports it, in UTF-8; empty when the object cannot be
    // carried (see isReportable).
    QByteArray toUtf8Address() const;
    // A report line can carry the object: not empty, no "." (it would read
    // as another address), no "=" and no line break (another line).
    bool isReportable() const;
    // As a server reads a command or a list names a port: exactly three
    // fields, "OUT" or "IN", an object, a port number >= 0 as
    // QString::toInt reads it ("01" and "+1" too).
    static PortId fromAddress(const QString &text);
    // As the panel reads a server's report, from UTF-8 bytes: three fields
    // or more, the third ending at a further "."; every direction but
    // exactly "OUT" is an input, a port that is no number reads 0, the
    // object may be empty. Invalid only with fewer than three fields.
    static PortId fromReportAddress(const char *data, int size);

    // prefix "/" "OUT" or "IN" "/" object "/" port.
    QString toTopic(const QString &prefix) const;
    // The three levels under `prefix`, read as fromAddress reads its fields;
    // invalid for another prefix, an empty one, or another number of levels.
    static PortId fromTopic(const QString &prefix, const QString &topic);

    // `port` in decimal, as QString::number writes it, appended to `text`.
    static void appendPortNumber(QString &text, int port);

    bool operator==(const PortId &other) const;
    bool operator!=(const PortId &other) const { return !(*this == other); }
    QString toString() const;

private:
    static PortId fromFields(const QString &direction, const QString &object, const QString &number);

    QString m_object;
    Direction m_direction = Out;
    int m_port = 0;
    bool m_valid = false;
};

char *toString(const PortId &id); // for QCOMPARE

#endif // PORTID_H
