#include "gui/window/startup.h"

#include <QtTest>

#include <sys/stat.h>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void groupSharing_data();
    void groupSharing();
    // That the built panel prints only its information lines is checked
    // under a compositor (tst_compositor).
    void panelFailsLoudlyWithoutProjectsDirectory();
    void panelWithoutDisplaySaysWhy();
};

void TestStartup::groupSharing_data()
{
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<bool>("groupWritable"); // what the panel then makes there

    QTest::newRow("group-writable folder") << 0775 << true;
    QTest::newRow("private folder") << 0755 << false;
}

// A second member of the group must be able to replace what the first one's
// panel made: the probe file (or its panel would not start) and the folders.
void TestStartup::groupSharing()
{
    QFETCH(int, folderMode);
    QFETCH(bool, groupWritable);

    QTemporaryDir root;
    const QString projects = root.filePath("projects");
    QVERIFY(QDir().mkpath(projects));
    QVERIFY(::chmod(QFile::encodeName(projects).constData(), mode_t(folderMode)) == 0);
    const mode_t userMask = ::umask(022); // a user's usual mask
    shareProjectFilesWithGroup(projects);
    const bool probed = probeProjectDirectory(projects);
    const bool madeFolder = QDir(projects).mkpath("icons/project");
    ::umask(userMask);
    QVERIFY(probed && madeFolder);

    for (const char *made : {"testFile", "icons/project"}) {
        const QFileDevice::Permissions permissions = QFileInfo(projects + "/" + made).permissions();
        QVERIFY2(bool(permissions & QFileDevice::WriteGroup) == groupWritable, made);
    }
}

void TestStartup::panelFailsLoudlyWithoutProjectsDirectory()
{
    QTemporaryDir dir;
    // A file where the folder belongs: nothing can be created there, not even by root.
    QFile blocker(dir.filePath("projects"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    // A copy of the built panel, in a folder of its own.
    const QString copy = dir.filePath("qalix-plus-control");
    QVERIFY(QFile::copy(QStringLiteral(QALIX_BUILD_DIR "/qalix-plus-control"), copy));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Only the log handler may keep debug lines away from the output, and a
    // sanitizer build must not add its own report to it.
    env.remove("QT_LOGGING_RULES");
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    process.setProcessEnvironment(env);
    process.start(copy, { dir.filePath("nonexistent.qlxd") });
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY(process.exitCode() != 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    const QList<QByteArray> lines = process.readAllStandardError().split('\n');
    QCOMPARE(lines.size(), 2); // one line and its line feed
    QVERIFY2(lines.first().contains(QFile::encodeName(dir.filePath("projects/"))), lines.first());
}


void TestStartup::panelWithoutDisplaySaysWhy()
{
    const QString panel = QStringLiteral(QALIX_BUILD_DIR "/qalix-plus-control");
    QVERIFY2(QFileInfo(panel).isExecutable(), "build the qalix-plus-control target first");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_LOGGING_RULES"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":4711"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(panel, {QStringLiteral("missing.qlxd")});
    QVERIFY(process.waitForFinished(30000));
    QVERIFY(process.exitStatus() == QProcess::CrashExit || process.exitCode() != 0);
    // Qt's fatal message and the plugin's reason before it, naming the
    // display, on standard error, whole; standard output keeps only the
    // information lines it always had.
    const QByteArray err = process.readAllStandardError();
    QVERIFY2(err.contains("platform plugin") && err.contains(":4711") && err.endsWith('\n'), err.constData());
    const QByteArray out = process.readAllStandardOutput();
    QVERIFY2(!out.contains(err.left(err.indexOf('\n'))), out.constData());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
