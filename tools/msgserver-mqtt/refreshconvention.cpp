#include "refreshconvention.h"

#include <QStringList>

RefreshConvention RefreshConvention::forState(const QString &stateTopic, const ValuePath &path)
{
    RefreshConvention convention;
    const QStringList levels = stateTopic.split(QLatin1Char('/'));
    if (levels.size() < 2 || levels.contains(QString()))
        return convention;
    const QString &first = levels.first();
    const QString &last = levels.last();
    if (first == QLatin1String("zigbee2mqtt")) {
        // Its own topics and a device's are not states to ask for.
        static const QStringList notDevices{QStringLiteral("bridge"), QStringLiteral("availability"),
                                            QStringLiteral("set"), QStringLiteral("get"), QStringLiteral("action")};
        if (notDevices.contains(levels.at(1)) || notDevices.contains(last))
            return convention;
        const QString key = path.firstKey().isEmpty() ? QStringLiteral("state") : path.firstKey();
        convention.topic = stateTopic + QStringLiteral("/get");
        convention.payload = "{\"" + key.toUtf8() + "\":\"\"}";
        return convention;
    }
    if ((first == QLatin1String("tele") || first == QLatin1String("stat")) && levels.size() == 3) {
        const QString device = levels.at(1);
        QString answerPath;
        if (first == QLatin1String("tele") && last == QLatin1String("SENSOR")) {
            convention.topic = QStringLiteral("cmnd/%1/STATUS").arg(device);
            convention.payload = "10";
            convention.answerTopic = QStringLiteral("stat/%1/STATUS10").arg(device);
            if (!path.isEmpty())
                answerPath = QStringLiteral("StatusSNS") + (path.firstKey().isEmpty() ? "" : ".") + path.toString();
        } else if ((first == QLatin1String("tele") && last == QLatin1String("STATE"))
                   || (first == QLatin1String("stat") && last.startsWith(QLatin1String("POWER")))) {
            convention.topic = QStringLiteral("cmnd/%1/STATE").arg(device);
            convention.answerTopic = QStringLiteral("stat/%1/RESULT").arg(device);
            answerPath = first == QLatin1String("stat") && path.isEmpty() ? last : path.toString();
        } else {
            return convention;
        }
        QString unused;
        // Without a path into it the answer tells nothing about this port.
        if (answerPath.isEmpty() || !ValuePath::parse(answerPath, &convention.answerPath, &unused))
            convention.answerTopic.clear();
        return convention;
    }
    if (levels.size() >= 3 && levels.at(levels.size() - 2) == QLatin1String("status")
        && last.contains(QLatin1Char(':'))) {
        convention.topic = levels.mid(0, levels.size() - 2).join(QLatin1Char('/')) + QStringLiteral("/command");
        convention.payload = "status_update";
    }
    return convention;
}
