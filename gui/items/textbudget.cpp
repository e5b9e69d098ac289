#include "gui/items/textbudget.h"

#include <QDebug>
#include <QGraphicsScene>
#include <QPixmap>

TextBudget::TextBudget(QGraphicsScene *scene, qint64 limit)
    : QObject(scene)
    , m_limit(limit)
{
}

TextBudget *TextBudget::of(const QGraphicsScene *scene)
{
    return scene ? scene->findChild<TextBudget *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

qint64 TextBudget::cost(const QPixmap &picture)
{
    return qint64(picture.width()) * picture.height() * 4;
}

qint64 TextBudget::room(const void *holder) const
{
    qint64 freed = 0;
    const auto held = m_pictureOf.constFind(holder);
    if (held != m_pictureOf.constEnd()) {
        const Shown &shown = m_shown.value(*held);
        if (shown.holders == 1)
            freed = shown.bytes;
    }
    return qMax<qint64>(0, m_limit - m_bytes + freed);
}

bool TextBudget::charge(const void *holder, const QPixmap &picture)
{
    const qint64 key = picture.cacheKey();
    const auto held = m_pictureOf.constFind(holder);
    if (held != m_pictureOf.constEnd() && *held == key)
        return true;
    if (!m_shown.contains(key) && cost(picture) > room(holder)) {
        refuse(holder);
        return false;
    }
    release(holder);
    Shown &shown = m_shown[key];
    if (shown.holders++ == 0) {
        shown.bytes = cost(picture);
        m_bytes += shown.bytes;
    }
    m_pictureOf.insert(holder, key);
    return true;
}

void TextBudget::refuse(const void *holder)
{
    release(holder);
    if (m_told)
        return;
    m_told = true;
    qCritical().noquote() << QStringLiteral("Page \"%1\": its text renderings would hold more than %2 MiB; "
                                            "further texts show the fallback picture")
                                 .arg(m_name)
                                 .arg(m_limit / (1024 * 1024));
}

void TextBudget::release(const void *holder)
{
    const auto held = m_pictureOf.find(holder);
    if (held == m_pictureOf.end())
        return;
    const auto shown = m_shown.find(*held);
    if (shown != m_shown.end() && --shown->holders == 0) {
        m_bytes -= shown->bytes;
        m_shown.erase(shown);
    }
    m_pictureOf.erase(held);
}
