#include "app/startoptions.h"

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
    void parse_data();
    void parse();
};

static StartOptions options(bool fullscreen, bool topmost, const QString &path = QString(),
                            bool hasPath = true)
{
    StartOptions result;
    result.fullscreen = fullscreen;
    result.topmost = topmost;
    result.hasProjectPath = hasPath && !path.isNull();
    result.projectPath = path;
    return result;
}

void TestStartOptions::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<StartOptions>("expected");

    const QString prog = QStringLiteral("/opt/panel/qalix-plus-control");
    QTest::newRow("program only") << QStringList{ prog } << options(false, false);
    QTest::newRow("empty list") << QStringList{} << options(false, false);
    QTest::newRow("path") << QStringList{ prog, "a.qlxd" } << options(false, false, "a.qlxd");
    QTest::newRow("fullscreen only")
        << QStringList{ prog, "-fullscreen" } << options(true, false);
    QTest::newRow("topmost only") << QStringList{ prog, "-topmost" } << options(false, true);
    QTest::newRow("other case is a path")
        << QStringList{ prog, "-FullScreen" } << options(false, false, "-FullScreen");
    QTest::newRow("other case before the real switch")
        << QStringList{ prog, "-TOPMOST", "-topmost" } << options(false, true, "-TOPMOST");
    QTest::newRow("whole argument only")
        << QStringList{ prog, "-fullscreen=1", "a.qlxd" } << options(false, false, "-fullscreen=1");
    QTest::newRow("fullscreen twice")
        << QStringList{ prog, "-fullscreen", "-fullscreen", "a.qlxd" } << options(true, false, "a.qlxd");
    QTest::newRow("switches around the path")
        << QStringList{ prog, "-topmost", "a.qlxd", "-fullscreen" } << options(true, true, "a.qlxd");
    QTest::newRow("switches after the path")
        << QStringList{ prog, "a.qlxd", "-topmost", "-fullscreen", "-topmost" }
        << options(true, true, "a.qlxd");
    QTest::newRow("second path ignored")
        << QStringList{ prog, "a.qlxd", "b.qlxd" } << options(false, false, "a.qlxd");
    QTest::newRow("empty argument is a path")
        << QStringList{ prog, "", "a.qlxd" } << options(false, false, "");
    QTest::newRow("path with spaces and umlauts")
        << QStringList{ prog, "-fullscreen", "/home/b\u00fcro/K\u00fcche 1.qlxd" }
        << options(true, false, "/home/b\u00fcro/K\u00fcche 1.qlxd");
}

void TestStartOptions::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(StartOptions, expected);
    QCOMPARE(StartOptions::parse(arguments), expected);
}

QTEST_APPLESS_MAIN(TestStartOptions)
#include "tst_startoptions.moc"
