#ifndef SIMPORTTABLE_H
#define SIMPORTTABLE_H

#include "core/bus/portid.h"

#include <QHash>
#include <QRandomGenerator>
#include <QString>

#include <functional>
#include <vector>

// The simulator's ports: the list it reads, the values it holds, and the way
// inputs change over time. Addresses are kept in the form they are reported in
// ("OUT.Kueche.1"), so a command for "OUT.Kueche.01" finds the same port.
class SimPortTable
{
public:
    enum Kind {
        Switch,      // changes only by port commands
        Temperature, // drifts slowly around its initial value
        Contact,     // opens and closes now and then
        Fixed,       // keeps its value unless commanded
        AllOff,      // a command other than 0 switches every switch off, then this port back to 0
    };

    struct SimPort
    {
        PortId id;
        QString address; // id's, as reported
        Kind kind = Switch;
        double value = 0.0;
        double base = 0.0;
        double phase = 0.0;
        bool unknown = false; // reported as unknown until its value next changes
    };

    // Reads one address into `port` and gives it its reported form; false when it
    // names no port a report can carry.
    static bool parseAddress(const QString &address, SimPort *port);
    // One list line: "IN.Aussen.1 temperature 8.5"; the value may be left out.
    static bool parsePortLine(const QString &line, SimPort *port, QString *error);
    static QString kindName(Kind kind);

    // Reads a whole list ("#" starts a comment); nothing is added unless every
    // line is good, and `error` names the first bad one.
    bool load(const QString &text, QString *error);
    // Adds a port or resets an existing one; null for an address parseAddress refuses.
    SimPort *add(const QString &address, Kind kind, double value);
    SimPort *find(const QString &address);
    int indexOf(const QString &address) const;
    double value(const QString &address) const;

    std::vector<SimPort> &ports() { return m_list; }
    const std::vector<SimPort> &ports() const { return m_list; }
    bool isEmpty() const { return m_list.empty(); }
    int size() const { return int(m_list.size()); }

    void seed(quint32 value) { m_random.seed(value); }
    // Moves the inputs to where they are `seconds` after start; `changed` hears of each port that moved.
    void step(double seconds, const std::function<void(const SimPort &)> &changed);

private:
    std::vector<SimPort> m_list;
    QHash<QString, int> m_index;
    QRandomGenerator m_random{4401};
};

#endif // SIMPORTTABLE_H
