#include "core/wall/wakewatch.h"

WakeWatch::WakeWatch(const QStringList &keys)
    : m_keys(keys)
{
    for (const QString &key : keys)
        m_isRaised.insert(key, false);
}

bool WakeWatch::reported(const QString &key, double value)
{
    const auto found = m_isRaised.find(key);
    if (found == m_isRaised.end())
        return false;
    const bool raised = value != 0.0; // a NaN too, as an item's state has it
    if (raised == found.value())
        return false;
    found.value() = raised;
    m_raised += raised ? 1 : -1;
    return raised;
}
