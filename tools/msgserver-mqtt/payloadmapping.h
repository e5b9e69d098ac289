#ifndef PAYLOADMAPPING_H
#define PAYLOADMAPPING_H

#include "valuepath.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// How one port's MQTT payloads become values, and which words and scale its
// commands use (PortCommand builds them). Pure: bytes in, a value or a reason out.
class PayloadMapping
{
public:
    // Larger payloads are not parsed: no device state needs them, and a JSON
    // parse of megabytes per message would stall every panel.
    static constexpr int maxPayloadBytes = 64 * 1024;

    using WordTable = QList<QPair<QString, double>>;

    PayloadMapping();

    // Words meaning 1 and 0, compared without regard to case; the first of each
    // is what commands send. Empty lists keep the defaults.
    void setWords(const QStringList &on, const QStringList &off);
    void setOnOffPort(bool onOff) { m_onOffPort = onOff; }
    // Words for other numbers ("heat" 1, "cool" 2), without regard to case;
    // a command sends the first word of its value.
    void setWordTable(const WordTable &table) { m_words = table; }
    // Text after the number that the device adds ("°C", "%"); without regard to case.
    void setUnit(const QString &unitText) { m_unit = unitText; }
    // "21,5": a comma is the decimal point, and a "." is refused as the
    // thousands separator it would be.
    void setDecimalComma(bool on) { m_decimalComma = on; }
    // Numbers from the device, from..fromEnd, become to..toEnd on the panel;
    // false when the first range is empty or a bound is not finite.
    bool setScale(double from, double fromEnd, double to, double toEnd);

    QStringList onWords() const { return m_on; }
    QStringList offWords() const { return m_off; }
    bool isOnOffPort() const { return m_onOffPort; }
    WordTable wordTable() const { return m_words; }
    QString unitText() const { return m_unit; }
    bool hasDecimalComma() const { return m_decimalComma; }
    bool isScaled() const { return m_scaled; }
    QString scaleText() const;

    // The value a state payload carries at `path`. False, with the reason,
    // when it carries none: no number, an unknown word, a missing path, not
    // finite. `absent`, when given, says whether the payload held nothing for
    // the port at all (empty, the path missing, an empty text there) rather
    // than something it cannot read.
    bool toValue(const QByteArray &payload, const ValuePath &path, double *value, QString *reason,
                 bool *absent = nullptr) const;

    // A panel's value as the device's number, through the scale; false when
    // that is not finite.
    bool scaleToDevice(double value, double *raw) const;
    // A plain number, locale-independent: no "nan", "inf", hex or thousands separators.
    static bool readNumber(const QString &text, double *value);

    static const QStringList &defaultOnWords();
    static const QStringList &defaultOffWords();

private:
    bool textToValue(const QString &text, double *value, QString *reason) const;
    bool wordToValue(const QString &text, double *value) const;
    bool numberToValue(QString text, double *value) const;
    bool scaleToPanel(double raw, double *value) const;

    QStringList m_on;
    QStringList m_off;
    bool m_onOffPort = false;
    WordTable m_words;
    QString m_unit;
    bool m_decimalComma = false;
    bool m_scaled = false;
    double m_scaleFrom[2] = {0.0, 1.0};
    double m_scaleTo[2] = {0.0, 1.0};
};

#endif // PAYLOADMAPPING_H
