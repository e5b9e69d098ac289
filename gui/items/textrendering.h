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
    // and two font lines high.
    static QPixmap render(const QString &text, bool bold, bool italic, int size, int color, int maxWidth);
};

#endif // TEXTRENDERING_H
