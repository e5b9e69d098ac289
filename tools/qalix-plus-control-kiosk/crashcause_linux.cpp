#include "tools/qalix-plus-control-kiosk/crashcause.h"

#include <cstring>

QString crashCause(int code)
{
    const char *name = sigabbrev_np(code);
    return name ? QStringLiteral("was killed by signal %1 (SIG%2)").arg(code).arg(QLatin1String(name))
                : QStringLiteral("was killed by signal %1").arg(code);
}
