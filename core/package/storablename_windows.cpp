#include "core/package/storablename.h"

bool isStorableName(const QString &component)
{
    if (component.endsWith(QLatin1Char('.')) || component.endsWith(QLatin1Char(' ')))
        return false;
    for (const QChar c : component) {
        if (QStringLiteral("<>\"|?*").contains(c))
            return false;
    }
    // The device is named by what stands before the first dot, blanks at its end left out.
    QString device = component.section(QLatin1Char('.'), 0, 0).toUpper();
    while (device.endsWith(QLatin1Char(' ')))
        device.chop(1);
    for (const char *name : {"CON", "PRN", "AUX", "NUL"}) {
        if (device == QLatin1String(name))
            return false;
    }
    if (device.size() == 4 && (device.startsWith(QLatin1String("COM")) || device.startsWith(QLatin1String("LPT")))) {
        const QChar digit = device.at(3);
        // Windows counts the superscripts ¹ ² ³ among the digits here.
        if ((digit >= QLatin1Char('0') && digit <= QLatin1Char('9')) || digit == QChar(0xb9) || digit == QChar(0xb2)
            || digit == QChar(0xb3))
            return false;
    }
    return true;
}
