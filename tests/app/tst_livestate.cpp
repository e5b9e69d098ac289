#include "app/livestate.h"

#include <QSignalSpy>
#include <QtTest>

// The live model on its own: reports recorded, the walk that hands changed
// values on, 100 visits a tick from where the last one stopped, presses.
class TestLiveState : public QObject
{
    Q_OBJECT

private:
    static QString keyAt(int i) { return QStringLiteral("ITM_K%1_OUT1").arg(i, 3, 10, QLatin1Char('0')); }

    // Records `count` keys K000..., each reported with its number as value.
    static void report(LiveState &live, int count)
    {
        for (int i = 0; i < count; ++i) {
            QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^Data "));
            live.onReceived(QStringLiteral("K%1").arg(i, 3, 10, QLatin1Char('0')), 1, true, i);
        }
    }

    static QStringList dueKeys(const QSignalSpy &due)
    {
        QStringList keys;
        for (const QList<QVariant> &args : due)
            keys << args.at(0).toString();
        return keys;
    }

private slots:
    void onReceivedRecords_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("output");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("log");

        QTest::newRow("output") << "Kueche" << 3 << true << 1.0 << "ITM_Kueche_OUT3" << "Data \"Kueche\" true 3 1";
        QTest::newRow("input") << "Sensor" << 12 << false << 21.75 << "ITM_Sensor_IN12" << "Data \"Sensor\" false 12 21.75";
        QTest::newRow("half") << "M1" << 0 << true << 0.5 << "ITM_M1_OUT0" << "Data \"M1\" true 0 0.5";
        QTest::newRow("quoting") << "a\"b" << 1 << false << -3.0 << "ITM_a\"b_IN1" << "Data \"a\\\"b\" false 1 -3";
    }

    void onReceivedRecords()
    {
        QFETCH(QString, object);
        QFETCH(int, port);
        QFETCH(bool, output);
        QFETCH(double, value);
        QFETCH(QString, key);
        QFETCH(QString, log);

        LiveState live;
        QSignalSpy due(&live, &LiveState::valueDue);
        QTest::ignoreMessage(QtInfoMsg, qPrintable(log));
        live.onReceived(object, port, output, value);
        QCOMPARE(live.values(), (QMap<QString, double>{{key, value}}));
        QVERIFY(live.isChanged(key));
        double reported = 0;
        QVERIFY(live.reportedValue(key, &reported));
        QCOMPARE(reported, value);
        QVERIFY(due.isEmpty()); // only the tick hands it on
    }

    void newestValueWins()
    {
        LiveState live;
        QSignalSpy due(&live, &LiveState::valueDue);
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^Data "));
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^Data "));
        live.onReceived("M1", 3, true, 1.0);
        live.onReceived("M1", 3, true, 0.0);
        live.tick();
        // One key visited 100 times: handed on once, with the newest value.
        QCOMPARE(due.size(), 1);
        QCOMPARE(due.at(0), (QList<QVariant>{"ITM_M1_OUT3", 0.0}));
        QVERIFY(!live.isChanged("ITM_M1_OUT3"));
        QVERIFY(!live.hasChanges());
    }

    void reportDuringHandOverIsKept()
    {
        // A report that arrives while a value is being handed on (a receiver
        // running an event loop) is handed on at the key's next visit.
        LiveState live;
        QList<double> applied;
        connect(&live, &LiveState::valueDue, this, [&](const QString &, double value) {
            applied << value;
            if (applied.size() == 1) {
                QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^Data "));
                live.onReceived("M1", 3, true, 2.0);
            }
        });
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^Data "));
        live.onReceived("M1", 3, true, 1.0);
        live.tick();
        QCOMPARE(applied, (QList<double>{1.0, 2.0}));
        QVERIFY(!live.hasChanges());
    }

    void tickVisitsHundredKeysFromPosition()
    {
        LiveState live;
        report(live, 250);
        QSignalSpy due(&live, &LiveState::valueDue);
        QSignalSpy status(&live, &LiveState::status);
        live.setPosition(240);
        live.tick();
        QCOMPARE(live.position(), 90);
        QCOMPARE(status.size(), 1);
        QCOMPARE(status.at(0).at(0).toString(), QString("STATES 0 ms / icon at 240 / 250"));
        QStringList expected;
        for (int i = 240; i < 250; ++i)
            expected << keyAt(i);
        for (int i = 0; i < 90; ++i)
            expected << keyAt(i);
        QCOMPARE(dueKeys(due), expected);
        QCOMPARE(due.at(0).at(1).toDouble(), 240.0);
        for (int i = 0; i < 250; ++i)
            QVERIFY2(live.isChanged(keyAt(i)) == (i >= 90 && i < 240), qPrintable(keyAt(i)));

        live.tick();
        QCOMPARE(live.position(), 190);
        QVERIFY(!live.isChanged(keyAt(189)));
        QVERIFY(live.isChanged(keyAt(190)));
    }

    void fewKeysWrapEveryTick()
    {
        LiveState live;
        report(live, 5);
        QSignalSpy status(&live, &LiveState::status);
        QSignalSpy due(&live, &LiveState::valueDue);
        for (int tick = 0; tick < 3; ++tick) {
            live.tick();
            QCOMPARE(status.last().at(0).toString(), QString("STATES 0 ms / icon at 0 / 5"));
            QCOMPARE(live.position(), 0);
        }
        QCOMPARE(due.size(), 5);
    }

    void emptyWalkSaysNothing()
    {
        LiveState live;
        QSignalSpy status(&live, &LiveState::status);
        live.tick();
        QVERIFY(status.isEmpty());
        QCOMPARE(live.position(), 0);
    }

    void reportsDuringTickArePickedUp()
    {
        LiveState live;
        QMap<QString, double> applied;
        connect(&live, &LiveState::valueDue, this, [&applied](const QString &key, double value) {
            applied.insert(key, value);
        });
        QCOMPARE(live.toggle(keyAt(150)), 1.0); // a press: known, not reported
        // Delivered by the tick's own event processing, in the middle of its
        // walk: new keys shift the order under it.
        for (int i = 0; i < 300; ++i) {
            QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^Data "));
            QMetaObject::invokeMethod(&live, "onReceived", Qt::QueuedConnection,
                                      Q_ARG(QString, QStringLiteral("K%1").arg(i, 3, 10, QLatin1Char('0'))),
                                      Q_ARG(int, 1), Q_ARG(bool, true), Q_ARG(double, i + 0.5));
        }
        live.tick();
        QCOMPARE(live.values().size(), 300);
        QVERIFY(live.position() >= 0 && live.position() < 300);
        for (int tick = 0; tick < 3; ++tick)
            live.tick();
        QCOMPARE(applied.size(), 300);
        for (int i = 0; i < 300; ++i)
            QCOMPARE(applied.value(keyAt(i)), i + 0.5);
    }

    void toggle_data()
    {
        QTest::addColumn<double>("stored"); // NaN: never reported
        QTest::addColumn<double>("sent");

        QTest::newRow("0.5 switches off") << 0.5 << 0.0;
        QTest::newRow("0 switches on") << 0.0 << 1.0;
        QTest::newRow("-0 switches on") << -0.0 << 1.0;
        QTest::newRow("unknown switches on") << qQNaN() << 1.0;
    }

    void toggle()
    {
        QFETCH(double, stored);
        QFETCH(double, sent);

        LiveState live;
        const QString key = QStringLiteral("ITM_M1_OUT3");
        if (!qIsNaN(stored)) {
            QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^Data "));
            live.onReceived("M1", 3, true, stored);
            live.tick();
        }
        QCOMPARE(live.toggle(key), sent);
        // The press changes no value and marks nothing; a key only pressed
        // is known with 0 but counts as never reported.
        QCOMPARE(live.values().value(key, -1.0), qIsNaN(stored) ? 0.0 : stored);
        QVERIFY(!live.isChanged(key));
        QCOMPARE(live.reportedValue(key, nullptr), !qIsNaN(stored));
        QCOMPARE(live.toggle(QStringLiteral("PAGE_2")), 1.0);
        QVERIFY(live.values().contains(QStringLiteral("PAGE_2")));
    }
};

QTEST_GUILESS_MAIN(TestLiveState)
#include "tst_livestate.moc"
