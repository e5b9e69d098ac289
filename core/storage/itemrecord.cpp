#include "core/storage/itemrecord.h"

#include "core/storage/picturenames.h"

#include <QStringList>

namespace {

const QString base64Prefix = QStringLiteral("BASE64_");

QString resolved(const QString &name, QHash<QString, QString> *memo)
{
    if (!memo)
        return resolvePictureName(name);
    auto it = memo->constFind(name);
    if (it == memo->constEnd())
        it = memo->insert(name, resolvePictureName(name));
    return it.value();
}

} // namespace

ItemState ItemRecord::stateForValue(double value)
{
    return value == 0.0 ? StateInactive : StateActive;
}

QString ItemRecord::textForState(int state) const
{
    switch (state) {
    case StateActive:
        return textActive;
    case StateInactive:
        return textInactive;
    case StateError:
        return textError;
    default:
        return QStringLiteral("WRONG STATE");
    }
}

QString ItemRecord::pictureForState(int state) const
{
    if (state == StateInactive && !imageInactive.isEmpty())
        return imageInactive;
    if (state == StateActive && !imageActive.isEmpty())
        return imageActive;
    return imageUnknown;
}

QString ItemRecord::placeholderText() const
{
    QString placeholder = QStringLiteral("???");
    if (digits > 0)
        placeholder += QLatin1Char('.') + QString(qMin(digits, digitsMaximum), QLatin1Char('?'));
    return placeholder;
}

void ItemRecord::resolvePictures(QHash<QString, QString> *memo)
{
    imageActive = resolved(imageActive, memo);
    imageInactive = resolved(imageInactive, memo);
    imageUnknown = resolved(imageUnknown, memo);
}

QString ItemRecord::encodeText(const QString &text)
{
    return base64Prefix + QString::fromLatin1(text.toUtf8().toBase64());
}

QString ItemRecord::decodeText(const QString &stored)
{
    if (!stored.startsWith(base64Prefix))
        return stored;
    QByteArray bytes = QByteArray::fromBase64(stored.mid(base64Prefix.size()).toLatin1());
    const int end = bytes.indexOf('\0');
    if (end >= 0)
        bytes.truncate(end);
    return QString::fromUtf8(bytes);
}

int ItemRecord::parseInt(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : 0;
}

bool ItemRecord::operator==(const ItemRecord &other) const
{
    return bold == other.bold && italic == other.italic && fontSize == other.fontSize && color == other.color
        && digits == other.digits && imageActive == other.imageActive && imageInactive == other.imageInactive
        && imageUnknown == other.imageUnknown && textActive == other.textActive
        && textInactive == other.textInactive && textError == other.textError && pageId == other.pageId
        && port == other.port;
}

QString ItemRecord::toString() const
{
    return QStringList {
        QStringLiteral("port=") + port,
        QStringLiteral("pageId=") + pageId,
        QStringLiteral("images=") + imageActive + QLatin1Char('|') + imageInactive + QLatin1Char('|') + imageUnknown,
        QStringLiteral("texts=") + textActive + QLatin1Char('|') + textInactive + QLatin1Char('|') + textError,
        QStringLiteral("font=%1%2%3 #%4").arg(fontSize).arg(bold ? QStringLiteral(" bold") : QString())
            .arg(italic ? QStringLiteral(" italic") : QString()).arg(color, 6, 16, QLatin1Char('0')),
        QStringLiteral("digits=%1").arg(digits),
    }.join(QLatin1Char(' '));
}
