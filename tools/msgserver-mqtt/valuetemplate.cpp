#include "valuetemplate.h"

#include <QStringList>

namespace {

// Reads "{{ EXPR }}" and nothing around it; EXPR trimmed.
bool expression(const QString &text, QString *inner)
{
    const QString t = text.trimmed();
    if (!t.startsWith(QLatin1String("{{")) || !t.endsWith(QLatin1String("}}")) || t.size() < 4)
        return false;
    *inner = t.mid(2, t.size() - 4).trimmed();
    return !inner->contains(QLatin1String("{{")) && !inner->contains(QLatin1String("}}"))
        && !inner->contains(QLatin1String("{%"));
}

bool identifierChar(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
        || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_');
}

// A scan of one expression: value or value_json, its accessors, its filters.
class Scanner
{
public:
    explicit Scanner(const QString &text)
        : m_text(text)
    {
    }

    bool atEnd()
    {
        skipSpace();
        return m_at >= m_text.size();
    }
    bool take(QChar c)
    {
        skipSpace();
        if (m_at < m_text.size() && m_text.at(m_at) == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    QString identifier()
    {
        skipSpace();
        const int start = m_at;
        while (m_at < m_text.size() && identifierChar(m_text.at(m_at)))
            ++m_at;
        return m_text.mid(start, m_at - start);
    }
    // 'key' or "key", without escapes.
    bool quoted(QString *key)
    {
        skipSpace();
        if (m_at >= m_text.size() || (m_text.at(m_at) != QLatin1Char('\'') && m_text.at(m_at) != QLatin1Char('"')))
            return false;
        const QChar quote = m_text.at(m_at);
        const int end = m_text.indexOf(quote, m_at + 1);
        if (end < 0)
            return false;
        *key = m_text.mid(m_at + 1, end - m_at - 1);
        m_at = end + 1;
        return !key->contains(QLatin1Char('\\'));
    }
    // "(…)" of a filter: numbers and commas only.
    bool arguments()
    {
        if (!take(QLatin1Char('(')))
            return true;
        while (m_at < m_text.size() && m_text.at(m_at) != QLatin1Char(')')) {
            const QChar c = m_text.at(m_at++);
            if (!c.isDigit() && c != QLatin1Char('.') && c != QLatin1Char(',') && c != QLatin1Char('-') && !c.isSpace())
                return false;
        }
        return take(QLatin1Char(')'));
    }

private:
    void skipSpace()
    {
        while (m_at < m_text.size() && m_text.at(m_at).isSpace())
            ++m_at;
    }

    const QString &m_text;
    int m_at = 0;
};

} // namespace

bool ValueTemplate::path(const QString &text, ValuePath *path, QString *reason)
{
    const auto fail = [&](const QString &why) {
        *reason = QStringLiteral("value template %1: %2").arg(text.left(80), why);
        return false;
    };
    QString inner;
    if (!expression(text, &inner))
        return fail(QStringLiteral("not one {{ … }} of the value"));
    Scanner scan(inner);
    const QString root = scan.identifier();
    if (root != QLatin1String("value") && root != QLatin1String("value_json"))
        return fail(QStringLiteral("computes its value"));
    QString pathText;
    while (root == QLatin1String("value_json")) {
        QString key;
        if (scan.take(QLatin1Char('.'))) {
            key = scan.identifier();
            if (key.isEmpty())
                return fail(QStringLiteral("a \".\" without a key"));
        } else if (scan.take(QLatin1Char('['))) {
            if (!scan.quoted(&key)) {
                const QString index = scan.identifier();
                bool ok = false;
                const int n = index.toInt(&ok);
                if (!ok || n < 0 || n > ValuePath::maxIndex || index != QString::number(n))
                    return fail(QStringLiteral("[%1] is neither a key nor an index").arg(index));
                key = QStringLiteral("[%1]").arg(n);
            } else if (key.isEmpty() || key.contains(QLatin1Char('.')) || key.contains(QLatin1Char('['))
                       || key.contains(QLatin1Char(']'))) {
                return fail(QStringLiteral("the key \"%1\" cannot be a path's").arg(key));
            }
            if (!scan.take(QLatin1Char(']')))
                return fail(QStringLiteral("\"[\" without \"]\""));
        } else {
            break;
        }
        pathText += key.startsWith(QLatin1Char('[')) || pathText.isEmpty() ? key : QLatin1Char('.') + key;
    }
    // A filter that leaves the number as it is; others compute a new value.
    while (scan.take(QLatin1Char('|'))) {
        const QString filter = scan.identifier();
        if ((filter != QLatin1String("float") && filter != QLatin1String("round")) || !scan.arguments())
            return fail(QStringLiteral("the filter | %1 computes its value").arg(filter));
    }
    if (!scan.atEnd())
        return fail(QStringLiteral("computes its value"));
    QString why;
    if (!ValuePath::parse(pathText, path, &why) || path->toString() != pathText)
        return fail(why);
    return true;
}

bool ValueTemplate::command(const QString &text, QString *result, QString *reason)
{
    if (text.contains(QLatin1String("%v"))) {
        *reason = QStringLiteral("command template %1: holds %v itself").arg(text.left(80));
        return false;
    }
    QString out;
    int at = 0;
    bool filled = false;
    while (at < text.size()) {
        const int open = text.indexOf(QLatin1String("{{"), at);
        if (open < 0) {
            out += text.mid(at);
            break;
        }
        const int close = text.indexOf(QLatin1String("}}"), open);
        QString inner;
        if (close < 0 || !expression(text.mid(open, close + 2 - open), &inner) || inner != QLatin1String("value")) {
            *reason = QStringLiteral("command template %1: computes what it sends").arg(text.left(80));
            return false;
        }
        out += text.mid(at, open - at) + QStringLiteral("%v");
        filled = true;
        at = close + 2;
    }
    if (!filled || out.contains(QLatin1String("{%"))) {
        *reason = QStringLiteral("command template %1: does not send the value as it is").arg(text.left(80));
        return false;
    }
    *result = out;
    return true;
}
