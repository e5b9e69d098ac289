#ifndef ITEMRECORD_H
#define ITEMRECORD_H

#include <QHash>
#include <QString>

#include <functional>

enum ItemState { StateActive = 0, StateError = 1, StateInactive = 2 };

// What a designer sets on an item, as a plain value: the port it is bound
// to, the page it links to, its three state pictures and texts, the text
// font fields and the decimals of an analogue value. Position, size and kind
// belong to the item (see ItemElement for the stored form of all of them).
class ItemRecord
{
public:
    // The ends of the editor's spin boxes. A record number above one is
    // brought down to it when the item renders; one below is kept, so a font
    // size of 0 read from a project stays 0 (and renders at the minimum).
    static constexpr int fontSizeMaximum = 100;
    static constexpr int digitsMaximum = 6;

    bool bold = false;
    bool italic = false;
    int fontSize = 12;
    int color = 0xFFFFFF;
    int digits = 2;
    QString imageActive;
    QString imageInactive;
    QString imageUnknown;
    QString textActive;
    QString textInactive;
    QString textError;
    QString pageId;
    QString port = QString(QLatin1String(""));

    // The state a reported value stands for: exactly 0.0 is inactive,
    // everything else (NaN included) active.
    static ItemState stateForValue(double value);

    QString textForState(int state) const;
    // The picture for a state; an empty name falls back to imageUnknown.
    QString pictureForState(int state) const;

    // The placeholder an analogue text shows until its first value: ???,
    // then a point and one "?" per decimal.
    QString placeholderText() const;

    // Replaces the three stored picture names by the paths they denote
    // (resolvePictureName, or `resolve` when given). With `memo`, each name
    // is looked up once per memo: loading names the same few pictures
    // thousands of times.
    void resolvePictures(QHash<QString, QString> *memo = nullptr,
                         const std::function<QString(const QString &)> &resolve = {});

    // Text form of an item element property, and its reading back.
    static QString encodeText(const QString &text);
    static QString decodeText(const QString &stored);
    static int parseInt(const QString &text);

    bool operator==(const ItemRecord &other) const;
    bool operator!=(const ItemRecord &other) const { return !(*this == other); }
    // One line naming every field, for test failures and debug lines.
    QString toString() const;
};

#endif // ITEMRECORD_H
