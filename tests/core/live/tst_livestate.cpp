#include "core/live/livestate.h"
#include "core/live/presshandler.h"
#include "core/live/reportline.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>

// The live model on its own: reports recorded, the walk that hands changed
// values on, 100 visits a tick from where the last one stopped, presses.
class TestLiveState : public QObject
{
    Q_OBJECT

private:
    static QString keyAt(int i) { return QStringLiteral("ITM_K%1_OUT1").arg(i, 3, 10, QLatin1Char('0')); }

    // Reports keys K000... (bound) or U000... (no item binds them), each with
    // its number as value; the "Data" lines are counted, not shown.
    static void report(LiveState &live, const QString &prefix, int count)
    {
        for (int i = 0; i < count; ++i)
            live.onReceived(prefix + QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')), 1, true, i);
    }

    // Runs `work` with the "Data" lines counted and the other lines kept.
    static int dataLines;
    static QStringList otherLines;
    template<typename Work>
    static void counting(Work work)
    {
        dataLines = 0;
        otherLines.clear();
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
                if (type == QtInfoMsg && text.startsWith("Data "))
                    ++dataLines;
                else
                    otherLines << text;
            });
        work();
        qInstallMessageHandler(previous);
    }

private slots:
    // A press sends an output's toggled value, or shows a page, or nothing.
    void press_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("page");
        const auto row = [](const char *name, const QString &text, const QString &sent, const QString &page) {
            QTest::newRow(name) << text << sent << page;
        };
        row("output", "ITM_Kueche_OUT3", "Kueche 3 1", "");
        row("again, no report between", "ITM_Wohnen_OUT1 ITM_Wohnen_OUT1", "Wohnen 1 1,Wohnen 1 1", "");
        row("input", "ITM_Aussen_IN1", "", "");
        row("object with _", "ITM_EG_Flur_OUT2", "EG_Flur 2 1", "");
        row("too few fields", "ITM_Kueche", "", "");
        row("malformed", "ITM_Kueche_OUTx", "", "");
        row("page", "PAGE_ABC123", "", "ABC123");
        row("page without id", "PAGE", "", "");
        row("other", "Kueche", "", "");
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
            live,
            [&](const QString &object, int port, double value) {
                sends << QString("%1 %2 %3").arg(object).arg(port).arg(value);
            },
            [&](const QString &id) { shown = id; });
        for (const QString &one : text.split(' '))
            handler.press(one);
        QCOMPARE(sends.join(','), sent);
        QCOMPARE(shown, page);
        double value = 0;
        QVERIFY(!live.reportedValue(text.section(' ', 0, 0), &value)); // only a report stores a value
    }

    // Reports and "unknown"s (U) for one port before the next tick: the items
    // get the newest value only, or none after an unknown; a page built
    // later takes what is known (also for a key bound only then).
    void newestWins_data()
    {
        QTest::addColumn<bool>("boundFirst");
        QTest::addColumn<QString>("reports");
        QTest::addColumn<QString>("due");
        QTest::addColumn<QString>("known"); // reportedValue() after the tick; empty: none

        QTest::newRow("two values") << true << "1 0"
                                    << "0"
                                    << "0";
        QTest::newRow("unknown after a value") << true << "1 U"
                                               << ""
                                               << "";
        QTest::newRow("a value after unknown") << true << "U 2"
                                               << "2"
                                               << "2";
        QTest::newRow("kept aside, then unknown") << false << "1 U"
                                                  << ""
                                                  << "";
    }

    void newestWins()
    {
        QFETCH(bool, boundFirst);
        QFETCH(QString, reports);
        QFETCH(QString, due);
        QFETCH(QString, known);

        LiveState live;
        if (boundFirst)
            live.bind("ITM_M1_OUT3");
        QStringList handed;
        connect(&live, &LiveState::valueDue, this, [&](const QString &, double v) { handed << QString::number(v); });
        QSignalSpy unknown(&live, &LiveState::valueUnknown);
        counting([&] {
            for (const QString &report : reports.split(' '))
                report == "U" ? live.onUnknown("M1", 3, true) : live.onReceived("M1", 3, true, report.toDouble());
        });
        live.bind("ITM_M1_OUT3");
        live.tick();
        QCOMPARE(handed.join(' '), due);
        QCOMPARE(unknown.size(), boundFirst ? reports.count('U') : 0);
        double value = -1;
        QCOMPARE(live.reportedValue("ITM_M1_OUT3", &value) ? QString::number(value) : QString(), known);
        QVERIFY(!live.hasChanges());
    }

    void reportDuringHandOverIsKept()
    {
        // A report that arrives while a value is being handed on (a receiver
        // running an event loop) is handed on at the key's next visit.
        LiveState live;
        live.bind("ITM_M1_OUT3");
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
        connect(&live, &LiveState::valueDue, this,
                [&applied](const QString &key, double value) { applied.insert(key, value); });
        for (int i = 0; i < 300; ++i)
            live.bind(keyAt(i));
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
        QCOMPARE(live.walkedKeys(), 300);
        QVERIFY(live.position() >= 0 && live.position() < 300);
        for (int tick = 0; tick < 3; ++tick)
            live.tick();
        QCOMPARE(applied.size(), 300);
        for (int i = 0; i < 300; ++i)
            QCOMPARE(applied.value(keyAt(i)), i + 0.5);
    }

    // The walk over the bound keys: 100 visits from where the last tick
    // stopped, in ascending key order; keys no item binds are not visited.
    void walk_data()
    {
        QTest::addColumn<int>("bound");
        QTest::addColumn<int>("unbound");
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("due"); // the first and the last key number of each run handed on
        QTest::addColumn<int>("end");

        QTest::newRow("250 keys from 240") << 250 << 0 << 240 << QList<int>{240, 249, 0, 89} << 90;
        QTest::newRow("5 keys, back at 0") << 5 << 0 << 0 << QList<int>{0, 4} << 0;
        QTest::newRow("beside 6,000 unbound keys") << 250 << 6000 << 240 << QList<int>{240, 249, 0, 89} << 90;
    }
    void walk()
    {
        QFETCH(int, bound);
        QFETCH(int, unbound);
        QFETCH(int, start);
        QFETCH(QList<int>, due);
        QFETCH(int, end);

        LiveState live;
        for (int i = 0; i < bound; ++i)
            live.bind(keyAt(i));
        counting([&] {
            report(live, "U", unbound);
            report(live, "K", bound);
        });
        QCOMPARE(dataLines, bound + unbound);
        QSignalSpy status(&live, &LiveState::status);
        QSignalSpy handed(&live, &LiveState::valueDue);
        live.setPosition(start);
        live.tick();
        QList<int> expected;
        for (int run = 0; run < due.size(); run += 2) {
            for (int key = due.at(run); key <= due.at(run + 1); ++key)
                expected << key;
        }
        QCOMPARE(handed.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(handed.at(i).at(0).toString(), keyAt(expected.at(i)));
        QCOMPARE(live.position(), end);
        QCOMPARE(status.at(0).at(0).toString(), QString("STATES 0 ms / icon at %1 / %2").arg(start).arg(bound));
    }

    // Keys no item binds are kept aside up to a bound, refused with long
    // names, and handed on once an item is bound to them.
    void unboundKeysKeptAside()
    {
        LiveState live;
        const QString longName(LiveState::maxUnboundObjectLength + 1, QLatin1Char('L'));
        live.bind("ITM_" + longName + "_OUT1");
        counting([&] {
            report(live, "U", LiveState::maxUnboundKeys + 10);
            live.onReceived(longName, 1, true, 7.0); // bound: walked like any other
            live.onReceived(longName, 2, true, 8.0); // refused, without a "Data" line
            live.onReceived(longName.left(LiveState::maxUnboundObjectLength), 2, true, 9.0); // not refused
        });
        QCOMPARE(dataLines, LiveState::maxUnboundKeys + 10 + 1 + 1);
        QCOMPARE(otherLines.size(), 2);
        QVERIFY(otherLines.at(0).startsWith("Reports for more than 4096 ports"));
        QVERIFY(otherLines.at(1).startsWith("Port reports for objects that no item shows, named with more than 256"));
        QCOMPARE(live.unboundKeys(), LiveState::maxUnboundKeys);
        QCOMPARE(live.walkedKeys(), 1);
        double value = 0;
        QVERIFY(!live.reportedValue("ITM_" + longName + "_OUT2", &value));
        QVERIFY(!live.reportedValue(QStringLiteral("ITM_U%1_OUT1").arg(LiveState::maxUnboundKeys), &value));

        // Bound later: the newest value kept aside is handed on at the first visit.
        QSignalSpy handed(&live, &LiveState::valueDue);
        live.bind(QStringLiteral("ITM_U%1_OUT1").arg(17, 3, 10, QLatin1Char('0')));
        live.tick();
        QCOMPARE(live.walkedKeys(), 2);
        QCOMPARE(handed.size(), 2);
        QCOMPARE(handed.at(1), (QList<QVariant>{"ITM_U017_OUT1", 17.0}));
    }

    // The hand-built "Data" line reads exactly as the debug stream's, and the
    // key as the parts joined.
    void reportLine_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<double>("value");
        QTest::newRow("smallest fixed") << "a" << 0.0001;
        QTest::newRow("rounds up to exponent") << "a" << 999999.7;
        QTest::newRow("rounds up to the next power") << "a" << 9.9999996;
        QTest::newRow("tie") << "a" << 0.1234565;
        QTest::newRow("negative zero") << "a" << -0.0;
        QTest::newRow("nan") << "a" << qQNaN();
        QTest::newRow("infinity") << "a" << -qInf();
        QTest::newRow("umlaut") << QString::fromUtf8("Küche") << 1.0;
        QTest::newRow("quote and backslash") << "a\"b\\c" << 1.0;
        QTest::newRow("control character") << "a\tb" << 1.0;
        QTest::newRow("empty") << "" << 0.5;
    }
    void reportLine()
    {
        QFETCH(QString, object);
        QFETCH(double, value);
        QRandomGenerator random(7);
        for (int i = 0; i < 2000; ++i) {
            // The row's value, then values over the whole range of magnitudes and ports.
            double v = i == 0 ? value : std::ldexp(random.generateDouble() - 0.5, random.bounded(-80, 80));
            if (i % 3 == 1)
                v = std::round(v * 100) / 100; // readings with two decimals
            else if (i % 3 == 2)
                v = std::round(v); // whole numbers, up to where the notation turns
            const int port = i == 0 ? 3 : int(random.generate());
            const bool output = i % 2;
            QCOMPARE(ReportLine::text(object, output, port, v), ReportLine::referenceText(object, output, port, v));
        }
    }
};

int TestLiveState::dataLines = 0;
QStringList TestLiveState::otherLines;

QTEST_GUILESS_MAIN(TestLiveState)
#include "tst_livestate.moc"
