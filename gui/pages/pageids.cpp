#include "gui/pages/pageids.h"

#include <QRandomGenerator>

namespace {

QRandomGenerator &generator()
{
    static QRandomGenerator instance;
    return instance;
}

} // namespace

void PageIds::seed(quint32 seed)
{
    generator().seed(seed);
}

QString PageIds::next()
{
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString id;
    id.reserve(16);
    for (int i = 0; i < 16; ++i)
        id.append(QLatin1Char(table[generator().generate() % 36]));
    return id;
}
