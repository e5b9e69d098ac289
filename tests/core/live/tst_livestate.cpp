#include "core/live/livestate.h"
#include "core/live/presshandler.h"
#include "core/live/statekey.h"
#include "core/net/connectionwatch.h"

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
    // A press sends an output's toggled value, or shows a page, or nothing.
    void press_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("page");
        QTest::newRow("output") << "ITM_Kueche_OUT3" << "Kueche 3 1" << "";
        QTest::newRow("again, no report between") << "ITM_Wohnen_OUT1 ITM_Wohnen_OUT1" << "Wohnen 1 1,Wohnen 1 1" << "";
        QTest::newRow("input") << "ITM_Aussen_IN1" << "" << "";
        QTest::newRow("malformed") << "ITM_Kueche_OUTx" << "" << "";
        QTest::newRow("page") << "PAGE_ABC123" << "" << "ABC123";
        QTest::newRow("page without id") << "PAGE" << "" << "";
        QTest::newRow("other") << "Kueche" << "" << "";
    }
    void press()
    {
        QFETCH(QString, text);
        QFETCH(QString, sent);
        QFETCH(QString, page);
        LiveState live;
        QStringList sends;
        QString shown;
        PressHandler handler(
            live, [&](const QString &object, int port, double value) { sends << QString("%1 %2 %3").arg(object).arg(port).arg(value); },
            [&](const QString &id) { shown = id; });
        for (const QString &one : text.split(' '))
            handler.press(one);
        QCOMPARE(sends.join(','), sent);
        QCOMPARE(shown, page);
        double value = 0;
        QVERIFY(!live.reportedValue(text.section(' ', 0, 0), &value)); // only a report stores a value
    }

    // The button changes only with the state; a link that is down is asked again.
    void connectionWatch_data()
    {
        QTest::addColumn<QString>("states"); // the link at each check: u(p) or d(own)
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("attempts");
        QTest::newRow("down from the start") << "ddd" << "" << 3;
        QTest::newRow("up") << "uuu" << "1" << 0;
        QTest::newRow("up, down, up") << "udu" << "1,0,1" << 1;
    }
    void connectionWatch()
    {
        QFETCH(QString, states);
        QFETCH(QString, shown);
        QFETCH(int, attempts);
        bool up = false;
        int tried = 0;
        QStringList shows;
        ConnectionWatch watch([&] { return up; }, [&] { ++tried; }, [&](bool connected) { shows << QString::number(connected); });
        for (const QChar state : states) {
            up = state == 'u';
            watch.check();
        }
        QCOMPARE(shows.join(','), shown);
        QCOMPARE(tried, attempts);
    }

    // Keys read back as they were built; text that names no port is invalid.
    void stateKeyText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("object");
        QTest::addColumn<bool>("output");
        QTest::addColumn<int>("port");
        QTest::newRow("output") << "ITM_Kueche_OUT3" << true << "Kueche" << true << 3;
        QTest::newRow("input") << "ITM_Aussen_IN1" << true << "Aussen" << false << 1;
        QTest::newRow("object with _") << "ITM_EG_Flur__OUT12" << true << "EG_Flur_" << true << 12;
        QTest::newRow("pseudo-object") << "ITM_OUT4_OUT0" << true << "OUT4" << true << 0;
        QTest::newRow("nine digits") << "ITM_M_OUT999999999" << true << "M" << true << 999999999;
        QTest::newRow("ten digits") << "ITM_M_OUT2147483648" << false << "" << true << 0;
        QTest::newRow("no object") << "ITM__OUT1" << false << "" << true << 0;
        QTest::newRow("no port field") << "ITM_OUT1" << false << "" << true << 0;
        QTest::newRow("no number") << "ITM_M_OUT" << false << "" << true << 0;
        QTest::newRow("sign") << "ITM_M_OUT-1" << false << "" << true << 0;
        QTest::newRow("other digits") << QString("ITM_M_OUT\u0663") << false << "" << true << 0;
        QTest::newRow("other direction") << "ITM_M_ADC1" << false << "" << true << 0;
        QTest::newRow("page link") << "PAGE_ABC123" << false << "" << true << 0;
    }
    void stateKeyText()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const StateKey key = StateKey::parse(text);
        QCOMPARE(key.isValid(), valid);
        if (!valid)
            return;
        QFETCH(QString, object);
        QFETCH(bool, output);
        QFETCH(int, port);
        QCOMPARE(key.object(), object);
        QCOMPARE(key.isOutput(), output);
        QCOMPARE(key.port(), port);
        QCOMPARE(key.toString(), text);
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

};

QTEST_GUILESS_MAIN(TestLiveState)
#include "tst_livestate.moc"
