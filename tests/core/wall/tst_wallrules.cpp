#include "core/wall/idlewatch.h"
#include "core/wall/pinlock.h"
#include "core/wall/stalewatch.h"
#include "core/wall/wakewatch.h"

#include "tests/support/testsupport.h"

#include <QtTest>

#include <memory>

// The rules behind the wall-panel switches, on a clock the test turns: each
// script is a list of "SECONDS:STEP" and gives one answer per step.
class TestWallRules : public QObject
{
    Q_OBJECT

private slots:
    void idle_data();
    void idle();
    void stale_data();
    void stale();
    void pin_data();
    void pin();

private:
    QTemporaryDir dir;
};

static qint64 clockMsecs(const QString &step)
{
    return qint64(step.section(':', 0, 0).toDouble() * 1000);
}

void TestWallRules::idle_data()
{
    QTest::addColumn<int>("home");
    QTest::addColumn<int>("dim");
    // i: a touch, click or key; p: the operator changes the page; ?: poll;
    // w:KEY=VALUE a report for a port, of which A and B are alarms.
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");

    QTest::newRow("home once per idle spell") << 30 << 0 << "0:? 29.9:? 30:? 31:? 45:i 74:? 75:?"
                                              << "- - home - in - home";
    QTest::newRow("a page change restarts home, not the saver") << 30 << 40 << "20:p 39:? 40:? 41:i 70:?"
                                                                << "page - home+dim woke -";
    QTest::newRow("the waking input only wakes") << 0 << 60 << "59:? 60:? 61:? 70:i 71:i 130:? 131:?"
                                                 << "- dim - woke in - dim";
    QTest::newRow("home in place when the saver goes up") << 300 << 60 << "60:? 300:? 301:i 600:?"
                                                          << "home+dim - woke home+dim";
    QTest::newRow("an alarm wakes and keeps the saver away, not home")
        << 100 << 60 << "60:? 61:w:A=1 62:? 200:? 201:w:A=0 260:? 261:?"
        << "home+dim wake - - . - dim";
    QTest::newRow("only a turn to not 0 wakes; the saver waits for the last alarm")
        << 0 << 10 << "1:w:A=0 2:w:A=1 3:w:A=2 4:w:B=nan 5:w:C=1 6:w:A=0 20:? 21:w:B=0 31:? 32:w:A=-1"
        << ". wake . wake . . - . dim wake";
}

void TestWallRules::idle()
{
    QFETCH(int, home);
    QFETCH(int, dim);
    QFETCH(QString, script);
    QFETCH(QString, expected);

    qint64 now = 0;
    IdleWatch watch(home, dim, [&now] { return now; });
    WakeWatch alarms({"A", "B"});
    QStringList answers;
    for (const QString &step : script.split(' ')) {
        now = clockMsecs(step);
        const QString action = step.section(':', 1);
        if (action.startsWith("w:")) {
            const bool wakes =
                alarms.reported(action.section(':', 1).section('=', 0, 0), action.section('=', 1).toDouble());
            watch.keepAwake(alarms.isAnyRaised());
            answers << (wakes ? "wake" : ".");
        } else if (action == "i") {
            answers << (watch.input() ? "woke" : "in");
        } else if (action == "p") {
            watch.pageChanged();
            answers << "page";
        } else {
            const IdleWatch::Due due = watch.poll();
            QStringList what;
            if (due.home)
                what << "home";
            if (due.dim)
                what << "dim";
            answers << (what.isEmpty() ? "-" : what.join('+'));
        }
    }
    QCOMPARE(answers.join(' '), expected);
}

void TestWallRules::stale_data()
{
    // up, down: the connection live or not; ?: poll; r:KEY a report handed on; u:KEY its value
    // unknown; s:KEY is it stale; b: the banner.
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("never connected: the banner in time")
        << "9:? 10:? 10:s:A 11:? 11:b" << QStringList{"-", "stale", "STALE", "-", "Keine Verbindung seit 08:00"};
    QTest::newRow("unknown until reported, and when the server says so")
        << "0:s:A 1:up 1:s:A 2:r:A 2:s:A 3:u:A 3:s:A 3:u:A 4:r:A 4:s:A 4:s:B"
        << QStringList{"STALE", ".", "STALE",     "fresh now", "fresh", "unknown now",
                       "STALE", ".", "fresh now", "fresh",     "STALE"};
    QTest::newRow("back: banner goes, each key with its first report")
        << "0:up 1:r:A 100:down 109:? 110:? 110:b 200:up 200:b 200:s:A 201:r:A 201:s:A 202:r:A"
        << QStringList{".",           "fresh now", ".",     "-",         "stale", "Keine Verbindung seit 08:01",
                       "banner gone", "none",      "STALE", "fresh now", "fresh", "."};
    QTest::newRow("a short drop changes nothing")
        << "0:up 1:r:A 10:down 19.9:? 20:up 30:? 30:s:A" << QStringList{".", "fresh now", ".", "-", ".", "-", "fresh"};
    QTest::newRow("a report handed on while down is not fresh")
        << "0:up 5:down 15:? 16:r:A 20:up 20:s:A" << QStringList{".", ".", "stale", ".", "banner gone", "STALE"};
    QTest::newRow("a second spell starts anew, with its own time")
        << "0:up 10:down 20:? 30:up 31:r:A 130:down 140:? 140:s:A 140:b"
        << QStringList{
               ".", ".", "stale", "banner gone", "fresh now", ".", "stale", "STALE", "Keine Verbindung seit 08:02"};
}

void TestWallRules::stale()
{
    QFETCH(QString, script);
    QFETCH(QStringList, expected);

    qint64 now = 0;
    StaleWatch watch(
        10, [&now] { return now; }, [&now] { return QTime(8, 0).addMSecs(int(now)); });
    QStringList answers;
    for (const QString &step : script.split(' ')) {
        now = clockMsecs(step);
        const QString action = step.section(':', 1, 1);
        const QString key = step.section(':', 2);
        if (action == "up" || action == "down")
            answers << (watch.setLive(action == "up") ? "banner gone" : ".");
        else if (action == "?")
            answers << (watch.poll() ? "stale" : "-");
        else if (action == "r")
            answers << (watch.delivered(key) ? "fresh now" : ".");
        else if (action == "u")
            answers << (watch.setUnknown(key) ? "unknown now" : ".");
        else if (action == "s")
            answers << (watch.isStale(key) ? "STALE" : "fresh");
        else
            answers << (watch.isBannerShown() ? watch.bannerText() : "none");
    }
    QCOMPARE(answers, expected);
}

void TestWallRules::pin_data()
{
    // f=PIN writes the file, f! removes it; c=DIGITS a check; L locked out?
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");

    QTest::newRow("right and wrong; a right one starts the count anew")
        << "0:f=1234 0:c=1234 0:c=1 0:c=2 0:c=3 0:c=4 0:c=1234 0:c=1 0:c=2 0:c=3 0:c=4 0:L"
        << ". ok wrong wrong wrong wrong ok wrong wrong wrong wrong open";
    QTest::newRow("five wrong lock for a minute, then five more tries")
        << "0:f=1234 0:c=1 0:c=2 0:c=3 0:c=4 1:c=5 1:L 30:c=1234 60.9:L 61:L 61:c=9 61:c=9 61:c=9 61:c=9 61:c=9 "
           "61:c=1234"
        << ". wrong wrong wrong wrong locked L locked L open wrong wrong wrong wrong locked locked";
    QTest::newRow("a changed file needs no restart") << "0:f=1234 0:c=5678 1:f=5678 1:c=5678 1:c=1234"
                                                     << ". wrong . ok wrong";
    QTest::newRow("no valid PIN: nobody gets in, and no try counts")
        << "0:f! 0:c=1234 0:c=1 0:c=1 0:c=1 0:c=1 0:f=12 0:c=12 0:f=1234 0:c=1234"
        << ". nopin nopin nopin nopin nopin . nopin . ok";
    // r restarts the panel, R=TEXT writes the record it takes up.
    QTest::newRow("a restart keeps the count and the lock-out")
        << "0:f=1234 0:c=1 0:c=2 0:c=3 0:r 1:c=4 1:c=5 1:r 60.9:L 61:L 61:c=1234 61:r 61:c=1 61:c=2 61:c=3 61:c=4 61:r "
           "61:c=5 61:r 120.9:L 121:L"
        << ". wrong wrong wrong . wrong locked . L open ok . wrong wrong wrong wrong . locked . L open";
    QTest::newRow("a record that lies or is broken")
        << "0:f=1234 0:R=wrong=0\nlockouts=1\nuntil=999999999999999 0:r 59.9:L 60:L 60:R=wrong=9 60:r 60:c=1 "
           "60:R=junk 60:r 60:c=1 60:c=1 60:c=1 60:c=1"
        << ". . . L open . . wrong . . wrong wrong wrong wrong";
    // Each lock-out twice the one before, up to an hour.
    QString script = "0:f=1234";
    QString answers = ".";
    double t = 0;
    for (int round = 1; round <= 8; ++round) {
        const double length = qMin(60 << (round - 1), 3600);
        script += QStringLiteral(" %1:c=9 %1:c=9 %1:c=9 %1:c=9 %1:c=9 %2:L %3:L")
                      .arg(t)
                      .arg(t + length - 0.1)
                      .arg(t + length);
        answers += " wrong wrong wrong wrong locked L open";
        t += length;
    }
    QTest::newRow("lock-outs double up to an hour") << script << answers;
}

void TestWallRules::pin()
{
    QFETCH(QString, script);
    QFETCH(QString, expected);

    const QString path = dir.filePath("pin");
    const QString record = dir.filePath("record");
    QFile::remove(path);
    QFile::remove(record);
    qint64 now = 0;
    const auto start = [&] {
        auto started = std::make_unique<PinLock>(path, [&now] { return now; });
        // The wall clock runs on from a day that is not the monotonic one's.
        started->keepRecord(record, [&now] { return 1700000000000 + now; });
        return started;
    };
    std::unique_ptr<PinLock> started = start();
    QStringList answers;
    for (const QString &step : script.split(' ')) {
        now = clockMsecs(step);
        const QString action = step.section(':', 1);
        PinLock &lock = *started;
        if (action == "r" || action.startsWith("R=")) {
            if (action == "r")
                started = start();
            else
                QVERIFY(writeFile(record, action.mid(2).replace("\\n", "\n").toLatin1()));
            answers << ".";
        } else if (action == "f!") {
            QFile::remove(path);
            answers << ".";
        } else if (action.startsWith("f=")) {
            QVERIFY(writeFile(path, action.mid(2).toLatin1() + '\n'));
            answers << ".";
        } else if (action == "L") {
            answers << (lock.isLockedOut() ? "L" : "open");
        } else {
            const PinLock::Result result = lock.check(action.mid(2));
            const char *const names[] = {"ok", "wrong", "locked", "nopin"};
            answers << names[int(result)];
            QCOMPARE(lock.message(result).isEmpty(), result == PinLock::Result::Accepted);
        }
    }
    QCOMPARE(answers.join(' '), expected);
}

QTEST_APPLESS_MAIN(TestWallRules)
#include "tst_wallrules.moc"
