#ifndef LIVESTATE_H
#define LIVESTATE_H

#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

// The panel's live model: the newest value reported per state key and
// whether the items have been given it yet, and the walk that hands changed
// values on. Reports are only recorded; tick(), driven by a timer, visits
// 100 keys in ascending key order, hands each changed value to whoever is
// bound to the key (valueDue) and processes events every 10 visits, so a
// burst of reports never blocks the display for long.
class LiveState : public QObject
{
    Q_OBJECT

public:
    static constexpr int visitsPerTick = 100;
    static constexpr int visitsBetweenEvents = 10;

    explicit LiveState(QObject *parent = nullptr);

    // The value a press of `key` asks for: 1.0 while the stored value is 0.0,
    // else 0.0 (a NaN included). A key not yet known is entered with 0.0;
    // only a report changes the stored value afterwards.
    double toggle(const QString &key);

    // One walk of visitsPerTick keys, continuing where the last one stopped.
    // Does nothing while no key is known, or when called from within itself
    // (the events it processes may include the timer).
    void tick();

    // The newest value reported for `key`. False for a key that was never
    // reported, also when a press entered it.
    bool reportedValue(const QString &key, double *value) const;

    const QMap<QString, double> &values() const { return m_values; }
    bool isChanged(const QString &key) const { return m_changed.value(key, false); }
    bool hasChanges() const;
    // Where the next tick starts, and the milliseconds of the last tick.
    int position() const { return m_position; }
    void setPosition(int position);
    qint64 lastDuration() const { return m_lastDuration; }

public slots:
    // Records a port report as the newest value of its key, to be handed on
    // at the key's next visit.
    void onReceived(const QString &object, int port, bool output, double value);

signals:
    // At the start of every tick that has keys to visit: "STATES <last
    // duration / 100> ms / icon at <position> / <keys>".
    void status(const QString &text);
    // A changed value, handed to whatever is bound to `key`.
    void valueDue(const QString &key, double value);

private:
    QMap<QString, double> m_values;
    QMap<QString, bool> m_changed;
    QSet<QString> m_reported;
    // m_values' keys in ascending order, so a visit reaches the key at a
    // position without walking the map. Keys are only ever added, so a size
    // that differs from m_values' means the list is stale.
    QStringList m_keys;
    int m_position = 0;
    qint64 m_lastDuration = 0;
    bool m_ticking = false;
};

#endif // LIVESTATE_H
