#include "core/live/livestate.h"

#include "core/live/statekey.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>

#include <algorithm>

LiveState::LiveState(QObject *parent)
    : QObject(parent)
{
}

void LiveState::onReceived(const QString &object, int port, bool output, double value)
{
    qInfo() << "Data" << object << output << port << value;
    const QString key = StateKey(object, output ? StateKey::Out : StateKey::In, port).toString();
    m_values.insert(key, value);
    m_changed.insert(key, true);
    m_reported.insert(key);
}

double LiveState::toggle(const QString &key)
{
    auto stored = m_values.find(key);
    if (stored == m_values.end())
        stored = m_values.insert(key, 0.0);
    return *stored == 0.0 ? 1.0 : 0.0;
}

bool LiveState::reportedValue(const QString &key, double *value) const
{
    if (!m_reported.contains(key))
        return false;
    if (value)
        *value = m_values.value(key);
    return true;
}

bool LiveState::hasChanges() const
{
    return std::any_of(m_changed.cbegin(), m_changed.cend(), [](bool changed) { return changed; });
}

void LiveState::setPosition(int position)
{
    m_position = qMax(0, position);
}

void LiveState::tick()
{
    if (m_ticking)
        return;
    QElapsedTimer elapsed;
    elapsed.start();
    if (m_values.isEmpty())
        return;
    emit status(QStringLiteral("STATES %1 ms / icon at %2 / %3")
                    .arg(m_lastDuration / 100)
                    .arg(m_position)
                    .arg(m_values.size()));

    m_ticking = true;
    for (int k = 0; k < visitsPerTick; ++k) {
        // Events processed below may have added keys: look the key up afresh
        // every visit, and hold nothing into the maps across processEvents().
        if (m_keys.size() != m_values.size())
            m_keys = m_values.keys();
        if (m_position >= m_keys.size())
            m_position = 0;
        const QString key = m_keys.at(m_position);
        auto changed = m_changed.find(key);
        if (changed != m_changed.end() && changed.value()) {
            changed.value() = false;
            emit valueDue(key, m_values.value(key));
        }
        if (++m_position >= m_values.size())
            m_position = 0;
        if (k % visitsBetweenEvents == 0)
            QCoreApplication::processEvents();
    }
    m_ticking = false;
    m_lastDuration = elapsed.elapsed();
}
