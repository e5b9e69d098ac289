#include "tools/qalix-plus-control-kiosk/kioskpolicy.h"
#include "tests/support/testsupport.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// The kiosk launcher's decisions, driven directly.
class TestKioskPolicy : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void panelArguments_data();
    void panelArguments();
    void staleDefault_data();
    void staleDefault();
    void nextDelay_data();
    void nextDelay();
    void restartLine_data();
    void restartLine();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString projects;
};

void TestKioskPolicy::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    projects = QFileInfo(dir->path()).canonicalFilePath() + "/bin/projects";
    QVERIFY(QDir().mkpath(projects));
}

void TestKioskPolicy::panelArguments_data()
{
    QTest::addColumn<QVariant>("stored");   // invalid: no settings.ini
    QTest::addColumn<QStringList>("files"); // below projects/; "/" at the end: a folder
    QTest::addColumn<QString>("expected");  // the package, empty for none: the start dialog, then full screen

    const QStringList demo{"Demo.qlxd", "Other.qlxd"};
    QTest::newRow("no settings file") << QVariant() << demo << "";
    QTest::newRow("no project chosen") << QVariant("- Kein Projekt -") << demo << "";
    QTest::newRow("stored package") << QVariant("Demo.qlxd") << demo << "Demo.qlxd";
    QTest::newRow("package gone") << QVariant("Gone.qlxd") << demo << "";
    QTest::newRow("folder named like one") << QVariant("dir.qlxd") << QStringList{"dir.qlxd/"} << "";
    QTest::newRow("out of the folder") << QVariant("../outside.qlxd") << QStringList{"../outside.qlxd"} << "";
}

void TestKioskPolicy::panelArguments()
{
    QFETCH(QVariant, stored);
    QFETCH(QStringList, files);
    QFETCH(QString, expected);

    for (const QString &name : files) {
        const QString path = projects + "/" + name;
        QVERIFY(name.endsWith('/') ? QDir().mkpath(path) : writeFile(path, "package"));
    }
    if (stored.isValid()) {
        QSettings settings(projects + "/settings.ini", QSettings::IniFormat);
        settings.setValue("projectAutoStart", stored);
        settings.setValue("autoConnect", true);
    }

    const QStringList rest{"-home=30"};
    const QStringList arguments =
        QStringList{"-fullscreen"} + (expected.isEmpty() ? rest : QStringList{projects + "/" + expected} + rest);
    QCOMPARE(KioskPolicy::panelArguments(projects, rest), arguments);
}

void TestKioskPolicy::staleDefault_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("passed");

    QTest::newRow("none given: the default") << "-home=30"
                                             << "-stale=15 -home=30";
    QTest::newRow("its own") << "-stale=60 -home=30"
                             << "-stale=60 -home=30";
    QTest::newRow("0 turns it off") << "-stale=30 -home=30 -stale=0"
                                    << "-home=30";
    QTest::newRow("the last counts") << "-stale=0 -stale=5"
                                     << "-stale=5";
}

void TestKioskPolicy::staleDefault()
{
    QFETCH(QString, given);
    QFETCH(QString, passed);
    QCOMPARE(KioskPolicy::withStaleDefault(given.split(' ')).join(' '), passed);
}

void TestKioskPolicy::nextDelay_data()
{
    // Runs as "how:milliseconds": crash, exitN, closed (exit button), saved
    // (exit 0 with settings.ini written); "+saved" marks a failed run that
    // also changed the settings. Delays: -1 means the launcher ends.
    QTest::addColumn<bool>("always");
    QTest::addColumn<QString>("runs");
    QTest::addColumn<QList<int>>("delays");

    QTest::newRow("crashes back off up to a minute")
        << false << QString("crash:100 ").repeated(9)
        << QList<int>{1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000, 60000};
    QTest::newRow("a run of a minute starts anew")
        << false << "crash:100 crash:100 crash:60000 crash:59999" << QList<int>{1000, 2000, 1000, 2000};
    QTest::newRow("saved options restart at once")
        << false << "crash:100 saved:100 saved:100 crash:100" << QList<int>{1000, 0, 0, 2000};
    QTest::newRow("a crash while saving backs off")
        << false << "crash+saved:100 exit2+saved:100" << QList<int>{1000, 2000};
    QTest::newRow("exit button ends") << false << "saved:100 closed:100" << QList<int>{0, -1};
    QTest::newRow("always: exit button backs off")
        << true << "closed:100 closed:100 closed:60000 saved:100" << QList<int>{1000, 2000, 1000, 0};
}

void TestKioskPolicy::nextDelay()
{
    QFETCH(bool, always);
    QFETCH(QString, runs);
    QFETCH(QList<int>, delays);

    KioskPolicy policy(always);
    QList<int> actual;
    for (const QString &token : runs.split(' ', Qt::SkipEmptyParts)) {
        KioskPolicy::Run run;
        QString how = token.section(':', 0, 0);
        run.durationMs = token.section(':', 1).toLongLong();
        if (how.endsWith("saved")) {
            run.settingsChanged = true;
            how.chop(5);
        }
        how.remove('+');
        run.crashed = how == "crash";
        if (how.startsWith("exit"))
            run.exitCode = how.mid(4).toInt();
        actual << policy.nextDelay(run);
    }
    QCOMPARE(actual, delays);
}

void TestKioskPolicy::restartLine_data()
{
    QTest::addColumn<bool>("crashed");
    QTest::addColumn<int>("code"); // the signal or status the process reported, or the exit code
    QTest::addColumn<QString>("expected");

#ifdef Q_OS_WIN
    QTest::newRow("access violation") << true << int(0xC0000005u)
                                      << "the panel crashed with exception 0xC0000005 (access violation) after 3 s";
    QTest::newRow("unknown status") << true << int(0xC0001234u)
                                    << "the panel crashed with exception 0xC0001234 after 3 s";
    QTest::newRow("killed") << true << 0xf291 << "the panel was killed after 3 s";
#else
    QTest::newRow("killed") << true << 9 << "the panel was killed by signal 9 (SIGKILL) after 3 s";
    QTest::newRow("unknown signal") << true << 99 << "the panel was killed by signal 99 after 3 s";
#endif
    QTest::newRow("no cause") << true << 0 << "the panel crashed after 3 s";
    QTest::newRow("exit code") << false << 3 << "the panel ended with exit code 3 after 3 s";
}

void TestKioskPolicy::restartLine()
{
    QFETCH(bool, crashed);
    QFETCH(int, code);
    QFETCH(QString, expected);
    KioskPolicy::Run run;
    run.crashed = crashed;
    (crashed ? run.signal : run.exitCode) = code;
    run.durationMs = 2600;
    QCOMPARE(KioskPolicy::restartLine(run, 4000), expected + ", starting it again in 4 s");
}

QTEST_GUILESS_MAIN(TestKioskPolicy)
#include "tst_kioskpolicy.moc"
