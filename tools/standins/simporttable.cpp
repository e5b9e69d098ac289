#include "tools/standins/simporttable.h"

#include <QStringList>
#include <QtMath>

namespace {

const struct
{
    const char *name;
    SimPortTable::Kind kind;
} kindNames[] = {
    {"switch", SimPortTable::Switch}, {"temperature", SimPortTable::Temperature}, {"contact", SimPortTable::Contact},
    {"fixed", SimPortTable::Fixed},   {"alloff", SimPortTable::AllOff},
};

} // namespace

bool SimPortTable::parseAddress(const QString &address, SimPort *port)
{
    const PortId id = PortId::fromAddress(address);
    if (!id.isValid() || !id.isReportable())
        return false;
    port->id = id;
    port->address = id.toAddress();
    return true;
}

QString SimPortTable::kindName(Kind kind)
{
    for (const auto &k : kindNames) {
        if (k.kind == kind)
            return QLatin1String(k.name);
    }
    return QString();
}

bool SimPortTable::parsePortLine(const QString &text, SimPort *port, QString *error)
{
    const QStringList fields = text.simplified().split(QLatin1Char(' '));
    if (fields.size() < 2 || fields.size() > 3) {
        *error = QStringLiteral("expected: address kind [value]");
        return false;
    }
    if (!parseAddress(fields.at(0), port)) {
        *error = QStringLiteral("address must be IN.object.number or OUT.object.number: %1").arg(fields.at(0));
        return false;
    }
    bool kindOk = false;
    for (const auto &k : kindNames) {
        if (fields.at(1) == QLatin1String(k.name)) {
            port->kind = k.kind;
            kindOk = true;
        }
    }
    if (!kindOk) {
        *error = QStringLiteral("unknown kind %1 (switch, temperature, contact, fixed, alloff)").arg(fields.at(1));
        return false;
    }
    port->value = 0.0;
    if (fields.size() == 3) {
        bool valueOk = false;
        port->value = fields.at(2).toDouble(&valueOk);
        if (!valueOk) {
            *error = QStringLiteral("value is not a number: %1").arg(fields.at(2));
            return false;
        }
    }
    port->base = port->value;
    return true;
}

bool SimPortTable::load(const QString &text, QString *error)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    std::vector<SimPort> loaded;
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        const int hash = line.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            line.truncate(hash);
        if (line.trimmed().isEmpty())
            continue;
        SimPort port;
        QString why;
        if (!parsePortLine(line, &port, &why)) {
            *error = QStringLiteral("line %1: %2").arg(i + 1).arg(why);
            return false;
        }
        loaded.push_back(port);
    }
    for (const SimPort &port : loaded)
        add(port.address, port.kind, port.value);
    return true;
}

SimPortTable::SimPort *SimPortTable::add(const QString &address, Kind kind, double value)
{
    SimPort port;
    if (!parseAddress(address, &port))
        return nullptr;
    if (SimPort *existing = find(port.address)) {
        existing->kind = kind;
        existing->value = existing->base = value;
        return existing;
    }
    port.kind = kind;
    port.value = port.base = value;
    port.phase = m_random.bounded(2.0 * M_PI);
    m_index.insert(port.address, int(m_list.size()));
    m_list.push_back(port);
    return &m_list.back();
}

int SimPortTable::indexOf(const QString &address) const
{
    const auto it = m_index.constFind(address);
    if (it != m_index.constEnd())
        return *it;
    SimPort port;
    if (!parseAddress(address, &port) || port.address == address)
        return -1;
    return m_index.value(port.address, -1);
}

SimPortTable::SimPort *SimPortTable::find(const QString &address)
{
    const int i = indexOf(address);
    return i < 0 ? nullptr : &m_list[size_t(i)];
}

double SimPortTable::value(const QString &address) const
{
    const int i = indexOf(address);
    return i < 0 ? 0.0 : m_list[size_t(i)].value;
}

void SimPortTable::step(double seconds, const std::function<void(const SimPort &)> &changed)
{
    for (SimPort &port : m_list) {
        double next = port.value;
        if (port.kind == Temperature) {
            // About two degrees up and down within two minutes, in tenths.
            next = qRound((port.base + 2.0 * qSin(seconds * 2.0 * M_PI / 120.0 + port.phase)) * 10.0) / 10.0;
        } else if (port.kind == Contact) {
            if (m_random.bounded(8) == 0)
                next = port.value == 0.0 ? 1.0 : 0.0;
        }
        if (next != port.value) {
            port.value = next;
            port.unknown = false;
            changed(port);
        }
    }
}
