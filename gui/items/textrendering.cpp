#include "gui/items/textrendering.h"

#include "gui/logging/guilogcategories.h"
#include "gui/pictures/picturecache.h"

#include <QCache>
#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QPainter>
#include <QRect>

namespace {

const QString textFamily = QStringLiteral("Prototype");

// Measuring a text shapes it; a project shows the same few texts in the same
// few styles on many items. Every analogue value never shown before is a new
// text, so the least recently measured go beyond 1 MiB of keys. GUI thread
// only, like the pictures.
QRect measuredText(const QFont &font, int size, bool bold, bool italic, const QString &text)
{
    static QCache<QString, QRect> measured(1024 * 1024);
    const QString key = QString::number(size) + QLatin1Char(bold ? 'b' : 'n') + QLatin1Char(italic ? 'i' : 'n')
        + QLatin1Char('_') + text;
    if (const QRect *found = measured.object(key))
        return *found;
    const QRect bounds = QFontMetrics(font).boundingRect(text);
    measured.insert(key, new QRect(bounds), int(qMin<qint64>(qint64(key.size()) * 2 + 96, 1024 * 1024)));
    return bounds;
}

// Twice a font's line height, per pixel size and style: asking the metrics
// looks the font up anew every time. A document may name any size; the
// first 4096 styles are kept, others measured each time.
int heightLimitOf(const QFont &font, int size, bool bold, bool italic)
{
    static QHash<quint64, int> limits;
    const quint64 key = (quint64(uint(size)) << 2) | (bold ? 2 : 0) | (italic ? 1 : 0);
    const auto found = limits.constFind(key);
    if (found != limits.constEnd())
        return *found;
    const int limit = 2 * QFontMetrics(font).height();
    if (limits.size() < 4096)
        limits.insert(key, limit);
    return limit;
}

} // namespace

QPixmap TextRendering::render(const QString &newText, bool bold, bool italic, int size, int color, int maxWidth,
                              qint64 maxBytes)
{
    QFont font(textFamily, size);
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 weighs on the OpenType scale, 1 to 1000, where Qt 5 had 0 to 99.
    font.setWeight(bold ? QFont::Weight(1000) : QFont::Thin);
#else
    font.setWeight(bold ? 100 : 0);
#endif
    font.setItalic(italic);
    font.setPixelSize(size);

    const QString colorName = QLatin1Char('#') + QString::asprintf("%.6X", color);

    // One line is drawn. Fallback fonts (emoji, CJK) make a line up to an
    // eighth taller than the font's own; a hostile text makes one 20 million
    // pixels wide, which no page shows and no memory holds.
    const QRect bounds = measuredText(font, size, bold, italic, newText);
    const int heightLimit = heightLimitOf(font, size, bold, italic);
    const int lineHeight = qBound(1, bounds.height(), heightLimit);
    const int pictureWidth = int(qBound(qint64(1), qint64(bounds.width()) + 5, qint64(maxWidth)));

    // Everything that changes the rendering is part of the key, so a red
    // alarm text is never served from the white rendering of the same text.
    const QString key = QStringLiteral("QLXTEXT_") + QString::number(lineHeight) + QLatin1Char('_')
        + QString::number(size) + QLatin1Char('_') + QString::number(font.weight())
        + (italic ? QLatin1String("_i_") : QLatin1String("_n_")) + colorName.mid(1) + QLatin1Char('_') + font.family()
        + QLatin1Char('_') + QString::fromLatin1(newText.toUtf8().toHex());

    QPixmap rendering;
    if (PictureCache::find(key, &rendering))
        return rendering;
    if (maxBytes >= 0 && qint64(pictureWidth) * lineHeight * 4 > maxBytes)
        return QPixmap();
    qInfo().noquote() << "Create Text" << key << newText;
    if (lineHeight < bounds.height() || pictureWidth < qint64(bounds.width()) + 5)
        qCDebug(lcItems) << "Text picture clipped to" << pictureWidth << "x" << lineHeight << "from"
                         << qint64(bounds.width()) + 5 << "x" << bounds.height() << "for" << newText.size()
                         << "characters";
    rendering = QPixmap(pictureWidth, lineHeight);
    rendering.fill(Qt::transparent);
    QPainter painter(&rendering);
    painter.setFont(font);
    painter.setPen(QColor(colorName));
    painter.drawText(0, int(lineHeight * 0.75), newText);
    painter.end();
    PictureCache::insert(rendering, key);
    return rendering;
}
