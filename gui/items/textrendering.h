#ifndef TEXTRENDERING_H
#define TEXTRENDERING_H

#include <QPixmap>
#include <QString>

// A text drawn in one line in the panel's font, from the picture cache when
// the same text in the same style was drawn before.
class TextRendering
{
public:
    // `size` in pixels (5 at least); the picture is at most `maxWidth` wide
    // and two font lines high. A new rendering of more than `maxBytes`
    // (4 per pixel; negative: any) is not made: the answer is a null picture.
    static QPixmap render(const QString &text, bool bold, bool italic, int size, int color, int maxWidth,
                          qint64 maxBytes = -1);
};

#endif // TEXTRENDERING_H
