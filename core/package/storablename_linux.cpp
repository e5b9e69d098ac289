#include "core/package/storablename.h"

bool isStorableName(const QString &)
{
    return true;
}
