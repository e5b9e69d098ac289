#ifndef TEXTBUDGET_H
#define TEXTBUDGET_H

#include <QHash>
#include <QObject>
#include <QString>

class QGraphicsScene;
class QPixmap;

// The bytes the text renderings shown on one page's scene hold, within a
// bound: a page of a hundred texts at the largest font, each as wide as a
// rendering may be, would hold 600 MiB. Each distinct rendering counts once,
// however many items show it. A text that would pass the bound is not shown
// (its item shows the fallback picture), with one line for the page.
// GUI thread only.
class TextBudget : public QObject
{
    Q_OBJECT

public:
    // 64 MiB: hundreds of the large texts a page of buttons carries.
    static constexpr qint64 defaultBytes = 64 * 1024 * 1024;

    // A budget for `scene`, as its child; `name` names the page in the line.
    explicit TextBudget(QGraphicsScene *scene, qint64 limit = defaultBytes);
    // The budget of `scene`, null when it has none.
    static TextBudget *of(const QGraphicsScene *scene);

    void setName(const QString &name) { m_name = name; }
    // Bytes `holder` may add with a new rendering, what it shows now given up.
    qint64 room(const void *holder) const;
    // `holder` shows `picture` now, in place of what it showed. False, with
    // nothing charged, when that would pass the bound.
    bool charge(const void *holder, const QPixmap &picture);
    // `holder` shows no text: a new one would not fit (told once for the page).
    void refuse(const void *holder);
    void release(const void *holder);

    qint64 bytes() const { return m_bytes; }
    qint64 limit() const { return m_limit; }

private:
    static qint64 cost(const QPixmap &picture);

    struct Shown
    {
        qint64 bytes = 0;
        int holders = 0;
    };
    QHash<const void *, qint64> m_pictureOf; // holder -> the picture's cache key
    QHash<qint64, Shown> m_shown;
    qint64 m_bytes = 0;
    qint64 m_limit;
    QString m_name;
    bool m_told = false;
};

#endif // TEXTBUDGET_H
