#include "core/startup/startoptions.h"

#include <QtTest>

Q_DECLARE_METATYPE(StartOptions)

namespace QTest {
template<>
char *toString(const StartOptions &options)
{
    return qstrdup(qPrintable(options.toString()));
}
} // namespace QTest

class TestStartOptions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void parse_data();
    void parse();

private:
    QTemporaryDir dir;
};

static StartOptions options(bool fullscreen, bool topmost, const QString &path = QString(), bool hasPath = true)
{
    StartOptions result;
    result.fullscreen = fullscreen;
    result.topmost = topmost;
    result.hasProjectPath = hasPath && !path.isNull();
    result.projectPath = path;
    return result;
}

// The wall-panel switches on top of the first ones.
static StartOptions wall(StartOptions result, int home, int dim, int stale, const QString &pinFile = QString(),
                         const QStringList &problems = QStringList())
{
    result.homeSeconds = home;
    result.dimSeconds = dim;
    result.staleSeconds = stale;
    result.pinFile = pinFile;
    for (const QString &argument : problems) {
        result.problems << (argument.startsWith("-lock=")
                                ? argument + ": no PIN file there, switch ignored"
                                : argument + ": not a whole number of seconds from 1 to 999999999, switch ignored");
    }
    return result;
}

// The touch, wake and language switches on top of the first ones.
static StartOptions touch(StartOptions result, bool on, const QStringList &wakeKeys, const QString &language,
                          const QStringList &problems = QStringList())
{
    result.touch = on;
    result.wakeKeys = wakeKeys;
    result.language = language;
    result.problems = problems;
    return result;
}

void TestStartOptions::initTestCase()
{
    QVERIFY(dir.isValid());
    QFile pin(dir.filePath("pin"));
    QVERIFY(pin.open(QIODevice::WriteOnly));
}

void TestStartOptions::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<StartOptions>("expected");

    const QString prog = QStringLiteral("/opt/panel/qalix-plus-control");
    QTest::newRow("other case is a path") << QStringList{prog, "-FullScreen"} << options(false, false, "-FullScreen");
    QTest::newRow("switches around the path")
        << QStringList{prog, "-topmost", "a.qlxd", "-fullscreen"} << options(true, true, "a.qlxd");
    QTest::newRow("second path ignored") << QStringList{prog, "a.qlxd", "b.qlxd"} << options(false, false, "a.qlxd");
    QTest::newRow("empty argument is a path") << QStringList{prog, "", "a.qlxd"} << options(false, false, "");

    QTest::newRow("wall switches anywhere")
        << QStringList{prog, "-home=30", "a.qlxd", "-dim=120", "-fullscreen", "-stale=10"}
        << wall(options(true, false, "a.qlxd"), 30, 120, 10);
    QTest::newRow("bad value after a good one")
        << QStringList{prog, "-home=30", "a.qlxd", "-home=x"}
        << wall(options(false, false, "a.qlxd"), 30, 0, 0, QString(), {"-home=x"});
    QTest::newRow("the last good value counts, nine digits at most")
        << QStringList{prog, "-dim=5", "-stale=007", "-dim=999999999"} << wall(options(false, false), 0, 999999999, 7);
    const QStringList bad{"-home=0",           "-home=",    "-dim=-5",    "-dim=+5", "-stale=1.5",
                          "-stale=1000000000", "-home=3 0", "-dim=\u0663"};
    QTest::newRow("bad values, none taken as the path")
        << (QStringList{prog} + bad) << wall(options(false, false), 0, 0, 0, QString(), bad);
    QTest::newRow("no value after the switch is a path")
        << QStringList{prog, "-home", "30", "a.qlxd"} << options(false, false, "-home");
    const QString pin = dir.filePath("pin");
    QTest::newRow("lock with a PIN file")
        << QStringList{prog, "a.qlxd", "-lock=" + pin} << wall(options(false, false, "a.qlxd"), 0, 0, 0, pin);
    const QStringList noFile{"-lock=" + dir.filePath("missing"), "-lock=" + dir.path(), "-lock="};
    QTest::newRow("lock without a file there")
        << (QStringList{prog, "-lock=" + pin} + noFile) << wall(options(false, false), 0, 0, 0, pin, noFile);

    QTest::newRow("touch, wake and language anywhere")
        << QStringList{prog, "-wake=ITM_Alarm_IN1,OUT.Sirene.2,ITM_Alarm_IN1", "-touch", "a.qlxd", "-lang=en"}
        << touch(options(false, false, "a.qlxd"), true, {"ITM_Alarm_IN1", "ITM_Sirene_OUT2"}, "en");
    const QString wrongPorts("%1: not a list of ports (ITM_Alarm_IN1 or IN.Alarm.1, separated by commas), switch "
                             "ignored");
    const QString wrongLanguage("%1: no such language (de, en), switch ignored");
    const QStringList badTouch{"-wake=", "-wake=ITM_Alarm_IN1,Alarm", "-wake=ITM_Alarm", "-lang=fr", "-lang=EN"};
    QTest::newRow("bad wake lists and languages, the good ones stay")
        << (QStringList{prog, "-lang=en", "-wake=IN.Tuer.1"} + badTouch << "-Touch")
        << touch(options(false, false, "-Touch"), false, {"ITM_Tuer_IN1"}, "en",
                 {wrongPorts.arg("-wake="), wrongPorts.arg("-wake=ITM_Alarm_IN1,Alarm"),
                  wrongPorts.arg("-wake=ITM_Alarm"), wrongLanguage.arg("-lang=fr"), wrongLanguage.arg("-lang=EN")});
}

void TestStartOptions::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(StartOptions, expected);
    QCOMPARE(StartOptions::parse(arguments), expected);
}

QTEST_APPLESS_MAIN(TestStartOptions)
#include "tst_startoptions.moc"
