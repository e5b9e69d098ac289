#ifndef NAMEELIDER_H
#define NAMEELIDER_H

#include <QString>
#include <QStringList>

#include <functional>

// Shortens names to a width so that names that differ still look different.
// Cut at the end, "Haus Nord Etage 1" and "Haus Nord Etage 2" would both
// read "Haus Nord Et…": a name that does not fit keeps its start and, after
// "…", the part from where it differs from the names most like it.
class NameElider
{
public:
    // The width of a text, in the units of the width to fit.
    using Width = std::function<int(const QString &text)>;

    // The shown text of each of `names`, in their order: a name that fits
    // `maxWidth` whole, else one of at most `maxWidth` (as far as a single
    // character and "…" fit at all).
    static QStringList elide(const QStringList &names, int maxWidth, const Width &width);

private:
    static QString elideOne(const QString &name, int differsAt, int maxWidth, const Width &width);
    // The longest start of `text` that, with `after` behind it, fits.
    static int fittingStart(const QString &before, const QString &text, const QString &after, int maxWidth,
                            const Width &width);
};

#endif // NAMEELIDER_H
