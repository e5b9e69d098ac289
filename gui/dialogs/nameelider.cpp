#include "gui/dialogs/nameelider.h"

#include <QSet>

#include <algorithm>

namespace {

const QString ellipsis(QChar(0x2026));

int commonStart(const QString &a, const QString &b)
{
    const int n = int(std::min(a.size(), b.size()));
    int i = 0;
    while (i < n && a.at(i) == b.at(i))
        ++i;
    return i;
}

} // namespace

QStringList NameElider::elide(const QStringList &names, int maxWidth, const Width &width)
{
    QStringList shown;
    for (int i = 0; i < names.size(); ++i) {
        const QString &name = names.at(i);
        if (width(name) <= maxWidth) {
            shown << name;
            continue;
        }
        int differsAt = 0;
        for (int j = 0; j < names.size(); ++j) {
            if (j != i && names.at(j) != name)
                differsAt = std::max(differsAt, commonStart(name, names.at(j)));
        }
        shown << elideOne(name, std::min(differsAt, int(name.size()) - 1), maxWidth, width);
    }
    // Names alike at both ends and in between can still meet: those keep
    // their end, where such names are numbered.
    QSet<QString> seen;
    QSet<QString> twice;
    for (const QString &text : std::as_const(shown)) {
        if (seen.contains(text))
            twice.insert(text);
        seen.insert(text);
    }
    for (int i = 0; i < shown.size(); ++i) {
        if (!twice.contains(shown.at(i)))
            continue;
        const QString &name = names.at(i);
        int keep = 1;
        while (keep < name.size() && width(ellipsis + name.right(keep + 1)) <= maxWidth)
            ++keep;
        shown[i] = ellipsis + name.right(keep);
    }
    return shown;
}

QString NameElider::elideOne(const QString &name, int differsAt, int maxWidth, const Width &width)
{
    // Cut at the end, as long as the cut keeps where it differs.
    const int start = fittingStart(QString(), name, ellipsis, maxWidth, width);
    if (start > differsAt)
        return name.left(start) + ellipsis;
    // Else its start, "…" and its end from where it differs, or from its
    // last word: a name that is another's start differs by its end.
    // The end begins with the word it differs in: "Etage 1 …" and "Etage 10 …"
    // differ after the "1", which must stay.
    const int lastWord = int(name.lastIndexOf(QLatin1Char(' '), name.size() - 2)) + 1;
    const int wordAt = differsAt > 0 ? int(name.lastIndexOf(QLatin1Char(' '), differsAt - 1)) + 1 : 0;
    const int tailAt = lastWord > 0 ? std::min(wordAt, lastWord) : wordAt;
    const QString rest = name.mid(tailAt);
    // The start gets what the whole end leaves, and at least two fifths.
    int head = fittingStart(QString(), name.left(tailAt), ellipsis + rest, maxWidth, width);
    if (width(ellipsis + rest) <= maxWidth && width(name.left(head)) * 5 >= maxWidth * 2)
        return name.left(head) + ellipsis + rest;
    head = fittingStart(QString(), name.left(tailAt), QString(), maxWidth * 2 / 5, width);
    for (; head >= 0; --head) {
        const QString before = name.left(head) + ellipsis;
        if (width(before + rest) <= maxWidth)
            return before + rest;
        const int kept = fittingStart(before, rest, ellipsis, maxWidth, width);
        if (kept > 0)
            return before + rest.left(kept) + ellipsis;
    }
    return ellipsis + rest.left(1) + ellipsis;
}

int NameElider::fittingStart(const QString &before, const QString &text, const QString &after, int maxWidth,
                             const Width &width)
{
    int low = 0;
    int high = int(text.size());
    // The widths grow with the characters kept.
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (width(before + text.left(middle) + after) <= maxWidth)
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}
