#include "core/live/livestate.h"

#include "core/bus/portid.h"
#include "core/live/reportline.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>

#include <algorithm>

LiveState::LiveState(QObject *parent)
    : QObject(parent)
{
}

void LiveState::bind(const QString &key)
{
    if (key.isEmpty() || m_index.contains(key))
        return;
    const int id = int(m_entries.size());
    m_entries.push_back(Entry{key});
    m_index.insert(key, id);
    const auto aside = m_unbound.find(key);
    if (aside == m_unbound.end())
        return;
    Entry &entry = m_entries.back();
    entry.value = aside->value;
    entry.reported = aside->reported;
    m_unbound.erase(aside);
    // The new item has not seen the value yet.
    if (entry.reported)
        store(entry, entry.value);
    walk(id);
}

void LiveState::onReceived(const QString &object, int port, bool output, double value)
{
    // Built in buffers used again: a burst of reports allocates nothing for them.
    PortId::writeStateKey(&m_key, object, output ? PortId::Out : PortId::In, port);
    const QString &key = m_key;
    const auto bound = m_index.constFind(key);
    if (bound != m_index.constEnd()) {
        ReportLine::log(&m_line, object, output, port, value);
        Entry &entry = m_entries[size_t(*bound)];
        entry.reported = true;
        store(entry, value);
        if (!entry.walked)
            walk(*bound);
        return;
    }
    if (object.size() > maxUnboundObjectLength) {
        if (!m_toldLongName) {
            m_toldLongName = true;
            qCritical().noquote() << QStringLiteral("Port reports for objects that no item shows, named with more than "
                                                    "%1 characters, are refused (the first: %2 characters)")
                                         .arg(maxUnboundObjectLength)
                                         .arg(object.size());
        }
        return;
    }
    ReportLine::log(&m_line, object, output, port, value);
    const auto aside = m_unbound.find(key);
    if (aside != m_unbound.end()) {
        aside->value = value;
        aside->reported = true;
    } else {
        keepAside(key, value, true);
    }
}

void LiveState::onUnknown(const QString &object, int port, bool output)
{
    PortId::writeStateKey(&m_key, object, output ? PortId::Out : PortId::In, port);
    const auto bound = m_index.constFind(m_key);
    if (bound != m_index.constEnd()) {
        Entry &entry = m_entries[size_t(*bound)];
        entry.reported = false;
        // A report that came before this must not end the unknown look later.
        if (entry.changed) {
            entry.changed = false;
            --m_changedCount;
        }
        const QString key = m_key;
        emit valueUnknown(key);
        return;
    }
    const auto aside = m_unbound.find(m_key);
    if (aside != m_unbound.end())
        aside->reported = false;
}

double LiveState::toggle(const QString &key)
{
    const auto bound = m_index.constFind(key);
    if (bound != m_index.constEnd()) {
        const Entry &entry = m_entries[size_t(*bound)];
        // Entered with 0.0 when neither reported nor pressed before.
        if (!entry.walked)
            walk(*bound);
        return entry.value == 0.0 ? 1.0 : 0.0;
    }
    const auto aside = m_unbound.constFind(key);
    if (aside != m_unbound.constEnd())
        return aside->value == 0.0 ? 1.0 : 0.0;
    keepAside(key, 0.0, false);
    return 1.0;
}

bool LiveState::reportedValue(const QString &key, double *value) const
{
    double stored = 0.0;
    bool reported = false;
    const auto bound = m_index.constFind(key);
    if (bound != m_index.constEnd()) {
        stored = m_entries[size_t(*bound)].value;
        reported = m_entries[size_t(*bound)].reported;
    } else {
        const auto aside = m_unbound.constFind(key);
        if (aside != m_unbound.constEnd()) {
            stored = aside->value;
            reported = aside->reported;
        }
    }
    if (reported && value)
        *value = stored;
    return reported;
}

bool LiveState::storedValue(const QString &key, double *value) const
{
    const auto bound = m_index.constFind(key);
    if (bound != m_index.constEnd()) {
        const Entry &entry = m_entries[size_t(*bound)];
        if (entry.walked && value)
            *value = entry.value;
        return entry.walked;
    }
    const auto aside = m_unbound.constFind(key);
    if (aside == m_unbound.constEnd())
        return false;
    if (value)
        *value = aside->value;
    return true;
}

bool LiveState::isChanged(const QString &key) const
{
    const auto bound = m_index.constFind(key);
    return bound != m_index.constEnd() && m_entries[size_t(*bound)].changed;
}

void LiveState::setPosition(int position)
{
    m_position = qMax(0, position);
}

void LiveState::store(Entry &entry, double value)
{
    entry.value = value;
    if (!entry.changed) {
        entry.changed = true;
        ++m_changedCount;
    }
}

void LiveState::walk(int id)
{
    m_entries[size_t(id)].walked = true;
    m_joining.push_back(id);
}

void LiveState::keepAside(const QString &key, double value, bool reported)
{
    if (m_unbound.size() >= maxUnboundKeys) {
        if (!m_toldFull) {
            m_toldFull = true;
            qCritical().noquote() << QStringLiteral("Reports for more than %1 ports that no item shows: the values "
                                                    "of further ones are not kept")
                                         .arg(maxUnboundKeys);
        }
        return;
    }
    m_unbound.insert(key, Aside{value, reported});
}

void LiveState::mergeJoining()
{
    const auto less = [this](int a, int b) { return m_entries[size_t(a)].key < m_entries[size_t(b)].key; };
    std::sort(m_joining.begin(), m_joining.end(), less);
    const auto middle = std::ptrdiff_t(m_walk.size());
    m_walk.insert(m_walk.end(), m_joining.begin(), m_joining.end());
    m_joining.clear();
    std::inplace_merge(m_walk.begin(), m_walk.begin() + middle, m_walk.end(), less);
}

void LiveState::tick()
{
    if (m_ticking)
        return;
    QElapsedTimer elapsed;
    elapsed.start();
    if (walkedKeys() == 0)
        return;
    emit status(
        QStringLiteral("STATES %1 ms / icon at %2 / %3").arg(m_lastDuration / 100).arg(m_position).arg(walkedKeys()));

    m_ticking = true;
    for (int k = 0; k < visitsPerTick; ++k) {
        // Events processed below may have added keys: take them into the
        // order and look the key up afresh every visit.
        if (!m_joining.empty())
            mergeJoining();
        if (m_position >= int(m_walk.size()))
            m_position = 0;
        Entry &entry = m_entries[size_t(m_walk[size_t(m_position)])];
        if (entry.changed) {
            entry.changed = false;
            --m_changedCount;
            // Copies: a receiver may bind keys, which moves the entries.
            const QString key = entry.key;
            emit valueDue(key, entry.value);
        }
        if (++m_position >= walkedKeys())
            m_position = 0;
        if (k % visitsBetweenEvents == 0)
            QCoreApplication::processEvents();
    }
    m_ticking = false;
    m_lastDuration = elapsed.elapsed();
}
