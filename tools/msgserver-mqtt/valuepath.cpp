#include "valuepath.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

bool ValuePath::parse(const QString &text, ValuePath *path, QString *reason)
{
    const auto fail = [&](const QString &why) {
        *reason = QStringLiteral("value %1: %2 (a path reads as a.b.c or a.b[0])").arg(text, why);
        return false;
    };
    ValuePath result;
    result.m_text = text;
    const int n = text.size();
    bool keyDue = true; // at the start and after "."
    int i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('[')) {
            if (keyDue && i > 0)
                return fail(QStringLiteral("an empty key before \"[\""));
            const int close = text.indexOf(QLatin1Char(']'), i);
            if (close < 0)
                return fail(QStringLiteral("\"[\" without \"]\""));
            const QString digits = text.mid(i + 1, close - i - 1);
            bool ok =
                !digits.isEmpty() && digits.size() <= 5 && (digits.size() == 1 || digits.at(0) != QLatin1Char('0'));
            for (const QChar d : digits)
                ok = ok && d >= QLatin1Char('0') && d <= QLatin1Char('9');
            if (!ok)
                return fail(QStringLiteral("[%1] is not an index from 0 to %2").arg(digits).arg(maxIndex));
            result.m_steps.append(Step{QString(), digits.toInt()});
            i = close + 1;
            if (i < n && text.at(i) != QLatin1Char('.') && text.at(i) != QLatin1Char('['))
                return fail(QStringLiteral("\"]\" followed by neither \".\" nor \"[\""));
            keyDue = false;
        } else if (c == QLatin1Char('.')) {
            if (keyDue || i + 1 == n)
                return fail(QStringLiteral("an empty key"));
            keyDue = true;
            ++i;
        } else if (c == QLatin1Char(']')) {
            return fail(QStringLiteral("\"]\" without \"[\""));
        } else {
            int end = i;
            while (end < n && text.at(end) != QLatin1Char('.') && text.at(end) != QLatin1Char('[')
                   && text.at(end) != QLatin1Char(']'))
                ++end;
            result.m_steps.append(Step{text.mid(i, end - i), -1});
            keyDue = false;
            i = end;
        }
    }
    *path = result;
    return true;
}

bool ValuePath::find(const QJsonValue &root, QJsonValue *value) const
{
    QJsonValue at = root;
    for (const Step &step : m_steps) {
        if (step.index < 0) {
            if (!at.isObject())
                return false;
            const QJsonObject object = at.toObject();
            const auto found = object.constFind(step.key);
            if (found == object.constEnd())
                return false;
            at = found.value();
        } else {
            if (!at.isArray() || step.index >= at.toArray().size())
                return false;
            at = at.toArray().at(step.index);
        }
    }
    *value = at;
    return true;
}
