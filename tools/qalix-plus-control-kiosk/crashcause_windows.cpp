#include "tools/qalix-plus-control-kiosk/crashcause.h"

namespace {

// The statuses a crashed program most often ends with.
struct Status
{
    unsigned code;
    const char *name;
};
const Status statuses[] = {
    {0xC0000005u, "access violation"},
    {0xC000001Du, "illegal instruction"},
    {0xC0000094u, "integer division by zero"},
    {0xC00000FDu, "stack overflow"},
    {0xC0000135u, "a DLL was not found"},
    {0xC0000139u, "an entry point was not found in a DLL"},
    {0xC0000409u, "the program ended itself at a broken check"},
    {0xC000013Au, "Ctrl+C"},
};

} // namespace

QString crashCause(int code)
{
    // QProcess::kill() ends a process with this code.
    if (code == 0xf291)
        return QStringLiteral("was killed");
    const unsigned status = unsigned(code);
    const QString hex =
        QStringLiteral("0x") + QString::number(status, 16).rightJustified(8, QLatin1Char('0')).toUpper();
    for (const Status &known : statuses) {
        if (known.code == status)
            return QStringLiteral("crashed with exception %1 (%2)").arg(hex, QLatin1String(known.name));
    }
    return QStringLiteral("crashed with exception %1").arg(hex);
}
