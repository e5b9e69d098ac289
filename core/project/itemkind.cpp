#include "core/project/itemkind.h"

namespace {

// Indexed by kind number.
const char *const typeNames[] = {"PageChange",  "Picture", "StatePicture", "Button",
                                 "StateButton", "Text",    "StateText",    "ADCText"};
static_assert(sizeof(typeNames) / sizeof(typeNames[0]) == ItemKind::Count, "one type name per kind");

} // namespace

int ItemKind::fromGraphicsType(int type)
{
    const int kind = type - graphicsType(0);
    return kind >= 0 && kind < Count ? kind : -1;
}

QString ItemKind::typeName(int kind)
{
    if (kind < 0 || kind >= Count)
        return QString();
    return QLatin1String(typeNames[kind]);
}

int ItemKind::fromTypeName(const QString &type)
{
    for (int kind = 0; kind < Count; ++kind) {
        if (type == QLatin1String(typeNames[kind]))
            return kind;
    }
    if (type == QLatin1String("Link"))
        return Link;
    return -1;
}
