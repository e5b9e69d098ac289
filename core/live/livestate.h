#ifndef LIVESTATE_H
#define LIVESTATE_H

#include <QHash>
#include <QObject>
#include <QString>

#include <vector>

// The panel's live model: the newest value reported per state key and
// whether the items have been given it yet, and the walk that hands changed
// values on. Reports are only recorded; tick(), driven by a timer, visits
// 100 keys in ascending key order, hands each changed value to whoever is
// bound to the key (valueDue) and processes events every 10 visits, so a
// burst of reports never blocks the display for long.
//
// The walk visits the keys items are bound to (bind()), once reported or
// pressed: however many other keys a server reports, a bound key's newest
// value is on its items within ceil(bound keys / 100) ticks. Keys no item
// binds are kept aside, without a walk, up to maxUnboundKeys, so a page built
// or an item bound later still finds their newest value.
class LiveState : public QObject
{
    Q_OBJECT

public:
    static constexpr int visitsPerTick = 100;
    static constexpr int visitsBetweenEvents = 10;
    // Keys no item binds: how many are kept, and the longest object name
    // such a report may carry (a longer one is refused).
    static constexpr int maxUnboundKeys = 4096;
    static constexpr int maxUnboundObjectLength = 256;

    explicit LiveState(QObject *parent = nullptr);

    // An item is bound to `key`: its reports are walked from now on. A value
    // kept aside for it is handed on at the key's first visit.
    void bind(const QString &key);
    bool isBound(const QString &key) const { return m_index.contains(key); }

    // The value a press of `key` asks for: 1.0 while the stored value is 0.0,
    // else 0.0 (a NaN included). A key not yet known is entered with 0.0;
    // only a report changes the stored value afterwards.
    double toggle(const QString &key);

    // One walk of visitsPerTick keys, continuing where the last one stopped.
    // Does nothing while no key is walked, or when called from within itself
    // (the events it processes may include the timer).
    void tick();

    // The newest value reported for `key`. False for a key that was never
    // reported, also when a press entered it.
    bool reportedValue(const QString &key, double *value) const;
    // The value stored for `key`, reported or entered by a press; false when
    // there is none.
    bool storedValue(const QString &key, double *value) const;

    // The keys the walk visits, and those kept aside.
    int walkedKeys() const { return int(m_walk.size() + m_joining.size()); }
    int unboundKeys() const { return m_unbound.size(); }
    bool isChanged(const QString &key) const;
    bool hasChanges() const { return m_changedCount > 0; }
    // Where the next tick starts, and the milliseconds of the last tick.
    int position() const { return m_position; }
    void setPosition(int position);
    qint64 lastDuration() const { return m_lastDuration; }

public slots:
    // Records a port report as the newest value of its key, to be handed on
    // at the key's next visit.
    void onReceived(const QString &object, int port, bool output, double value);
    // The server does not know the port's value: a report not yet handed on
    // is not handed on, a page built from now on does not take the value
    // (reportedValue() is false), and valueUnknown tells the bound items at
    // once. The stored value stays, for a press. Nothing is kept for a key
    // that is neither bound nor kept aside.
    void onUnknown(const QString &object, int port, bool output);

signals:
    // At the start of every tick that has keys to visit: "STATES <last
    // duration / 100> ms / icon at <position> / <walked keys>".
    void status(const QString &text);
    // A changed value, handed to whatever is bound to `key`.
    void valueDue(const QString &key, double value);
    // onUnknown() for a bound key, at once.
    void valueUnknown(const QString &key);

private:
    struct Entry
    {
        QString key;
        double value = 0.0;
        bool changed = false;
        bool reported = false;
        bool walked = false; // reported or pressed: in m_walk or m_joining
    };
    struct Aside
    {
        double value = 0.0;
        bool reported = false;
    };

    void store(Entry &entry, double value);
    void walk(int id);
    // Takes the entries that joined into the walk's order.
    void mergeJoining();
    // Keeps an unbound key's value aside while there is room.
    void keepAside(const QString &key, double value, bool reported);

    // Bound keys in the order they were bound; m_index finds them.
    std::vector<Entry> m_entries;
    QHash<QString, int> m_index;
    // The walked entries in ascending key order, and those that joined since
    // the order was last made (merged in at the next visit).
    std::vector<int> m_walk;
    std::vector<int> m_joining;
    QHash<QString, Aside> m_unbound;
    int m_changedCount = 0;
    int m_position = 0;
    qint64 m_lastDuration = 0;
    bool m_ticking = false;
    bool m_toldLongName = false;
    bool m_toldFull = false;
    // The key and the "Data" line of the report at hand.
    QString m_key;
    QString m_line;
};

#endif // LIVESTATE_H
