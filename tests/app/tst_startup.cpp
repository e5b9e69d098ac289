#include "app/startup.h"

#include <QtTest>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    // The built program, copied into a folder of its own.
    void panelPrintsOnlyTheFontLine();
    void panelFailsLoudlyWithoutProjectsDirectory();
    void panelWithoutDisplaySaysWhy();

private:
    // Starts a copy of the built panel in dir with one argument; libraries
    // are looked up in libDir first.
    bool startPanel(QProcess &process, const QTemporaryDir &dir, const QString &libDir = QString());
};

bool TestStartup::startPanel(QProcess &process, const QTemporaryDir &dir, const QString &libDir)
{
    const QString copy = dir.filePath("qalix-plus-control");
    if (!QFile::copy(QStringLiteral(QALIX_BUILD_DIR "/qalix-plus-control"), copy))
        return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // Only the log handler may keep debug lines away from the output.
    env.remove("QT_LOGGING_RULES");
    // A sanitizer build must not add its own report to the output checked here.
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    if (!libDir.isEmpty())
        env.insert("LD_LIBRARY_PATH", libDir);
    process.setProcessEnvironment(env);
    process.start(copy, { dir.filePath("nonexistent.qlxd") });
    return process.waitForStarted();
}

void TestStartup::panelPrintsOnlyTheFontLine()
{
    QTemporaryDir dir;
    QProcess process;
    QVERIFY(startPanel(process, dir));
    QByteArray out;
    while (!out.contains('\n') && process.waitForReadyRead(60000))
        out += process.readAllStandardOutput();
    // Any debug line of the start (DATA_PATH, ...) would come first.
    QCOMPARE(out, QByteArray("0 (\"Prototype\")\n"));
    QCOMPARE(process.state(), QProcess::Running);
    process.kill();
    QVERIFY(process.waitForFinished(30000));

    // The fresh installation got its projects directory and probe file.
    QVERIFY(QFileInfo(dir.filePath("projects/testFile")).isFile());
}

void TestStartup::panelFailsLoudlyWithoutProjectsDirectory()
{
    QTemporaryDir dir;
    // A file where the folder belongs: nothing can be created there, not even by root.
    QFile blocker(dir.filePath("projects"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    QProcess process;
    QVERIFY(startPanel(process, dir));
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
    // Qt's fatal reason on standard error, whole; standard output keeps only
    // the information lines it always had.
    const QByteArray err = process.readAllStandardError();
    QVERIFY2(err.contains("platform plugin") && err.endsWith('\n'), err.constData());
    const QByteArray out = process.readAllStandardOutput();
    QVERIFY2(!out.contains(err.left(err.indexOf('\n'))), out.constData());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
