#include "core/project/itemrecord.h"

#include "core/project/picturenames.h"

#include <QStringList>
#include <QVarLengthArray>

namespace {

const QString base64Prefix = QStringLiteral("BASE64_");

QString resolved(const QString &name, QHash<QString, QString> *memo,
                 const std::function<QString(const QString &)> &resolve)
{
    if (!memo)
        return resolve ? resolve(name) : resolvePictureName(name);
    auto it = memo->constFind(name);
    if (it == memo->constEnd())
        it = memo->insert(name, resolve ? resolve(name) : resolvePictureName(name));
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

void ItemRecord::resolvePictures(QHash<QString, QString> *memo, const std::function<QString(const QString &)> &resolve)
{
    imageActive = resolved(imageActive, memo, resolve);
    imageInactive = resolved(imageInactive, memo, resolve);
    imageUnknown = resolved(imageUnknown, memo, resolve);
}

QString ItemRecord::encodeText(const QString &text)
{
    return base64Prefix + QString::fromLatin1(text.toUtf8().toBase64());
}

QString ItemRecord::decodeText(const QString &stored)
{
    if (!stored.startsWith(base64Prefix))
        return stored;
    // QByteArray::fromBase64() of the text's Latin-1 bytes, without the
    // copies: every character outside the alphabet is passed over ("=" and
    // what Latin-1 cannot hold too), the bits of the others are joined into
    // bytes. A project reads thousands of these.
    const int size = stored.size() - base64Prefix.size();
    QVarLengthArray<char, 256> bytes(size * 3 / 4 + 1);
    int length = 0;
    uint bits = 0;
    int bitCount = 0;
    for (const QChar *c = stored.constData() + base64Prefix.size(), *end = c + size; c < end; ++c) {
        const ushort u = c->unicode();
        int digit;
        if (u >= 'A' && u <= 'Z')
            digit = u - 'A';
        else if (u >= 'a' && u <= 'z')
            digit = u - 'a' + 26;
        else if (u >= '0' && u <= '9')
            digit = u - '0' + 52;
        else if (u == '+')
            digit = 62;
        else if (u == '/')
            digit = 63;
        else
            continue;
        bits = (bits << 6) | uint(digit);
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            bytes[length++] = char(bits >> bitCount);
            bits &= (1u << bitCount) - 1;
        }
    }
    // Read as UTF-8 up to the first zero byte.
    const char *data = bytes.constData();
    return QString::fromUtf8(data, int(qstrnlen(data, uint(length))));
}

int ItemRecord::parseInt(const QString &text)
{
    // What the designer writes, an optional minus and up to nine digits, is
    // read here; everything else (blanks, a plus, more digits that may not
    // fit, other digits than ASCII) as QString::toInt() reads it.
    const int size = text.size();
    const QChar *c = text.constData();
    const bool negative = size > 0 && c->unicode() == '-';
    const int digits = size - (negative ? 1 : 0);
    if (digits >= 1 && digits <= 9) {
        int value = 0;
        for (const QChar *d = c + (negative ? 1 : 0), *end = c + size; d < end; ++d) {
            const ushort u = d->unicode();
            if (u < '0' || u > '9') {
                value = -1;
                break;
            }
            value = value * 10 + (u - '0');
        }
        if (value >= 0)
            return negative ? -value : value;
    }
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : 0;
}

bool ItemRecord::operator==(const ItemRecord &other) const
{
    return bold == other.bold && italic == other.italic && fontSize == other.fontSize && color == other.color
        && digits == other.digits && imageActive == other.imageActive && imageInactive == other.imageInactive
        && imageUnknown == other.imageUnknown && textActive == other.textActive && textInactive == other.textInactive
        && textError == other.textError && pageId == other.pageId && port == other.port;
}

QString ItemRecord::toString() const
{
    return QStringList{
        QStringLiteral("port=") + port,
        QStringLiteral("pageId=") + pageId,
        QStringLiteral("images=") + imageActive + QLatin1Char('|') + imageInactive + QLatin1Char('|') + imageUnknown,
        QStringLiteral("texts=") + textActive + QLatin1Char('|') + textInactive + QLatin1Char('|') + textError,
        QStringLiteral("font=%1%2%3 #%4")
            .arg(fontSize)
            .arg(bold ? QStringLiteral(" bold") : QString())
            .arg(italic ? QStringLiteral(" italic") : QString())
            .arg(color, 6, 16, QLatin1Char('0')),
        QStringLiteral("digits=%1").arg(digits),
    }
        .join(QLatin1Char(' '));
}
