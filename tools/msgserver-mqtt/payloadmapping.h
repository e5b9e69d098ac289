#ifndef PAYLOADMAPPING_H
#define PAYLOADMAPPING_H

#include <QByteArray>
#include <QString>
#include <QStringList>

// How one port's MQTT payloads become values and its commands become payloads.
// Pure: bytes in, a value or a reason out.
class PayloadMapping
{
public:
    // Larger payloads are not parsed: no device state needs them, and a JSON
    // parse of megabytes per message would stall every panel.
    static constexpr int maxPayloadBytes = 64 * 1024;

    PayloadMapping();

    // Dotted path into a JSON object ("a.b.c"); empty: the whole payload.
    void setValuePath(const QString &path);
    // Words meaning 1 and 0, compared without regard to case; the first of each
    // is what commands send. Empty lists keep the defaults.
    void setWords(const QStringList &on, const QStringList &off);
    void setOnOffPort(bool onOff) { onOffPort = onOff; }
    void setCommandTemplate(const QString &commandTemplate);

    QString valuePath() const { return path.join(QLatin1Char('.')); }
    QStringList onWords() const { return on; }
    QStringList offWords() const { return off; }
    bool isOnOffPort() const { return onOffPort; }
    QString commandTemplate() const { return templateText; }

    // The value a state payload carries. False, with the reason, when it
    // carries none: no number, an unknown word, a missing path, not finite.
    bool toValue(const QByteArray &payload, double *value, QString *reason) const;

    // The command payload for a panel's value; valueText as the panel sent it.
    // False when valueText is not a plain finite number, since it would be
    // pasted into the template as it stands.
    bool commandPayload(double value, const QString &valueText, QByteArray *payload) const;

    static const QStringList &defaultOnWords();
    static const QStringList &defaultOffWords();

private:
    bool textToValue(const QString &text, double *value, QString *reason) const;

    QStringList path;
    QStringList on;
    QStringList off;
    bool onOffPort = false;
    QString templateText;
};

#endif // PAYLOADMAPPING_H
