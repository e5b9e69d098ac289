#include "app/messagehandler.h"

#include <QtTest>

#include <cstdio>

// Run as a child with "--emit <type> <message>" the executable installs the
// handler, logs one message and waits until its standard input closes, so the
// parent sees what really reaches standard output and standard error, and
// that it came unasked (flushed by the handler).

static int emitMessage(int argc, char *argv[])
{
    qInstallMessageHandler(messageHandler);
    if (argc < 4)
        return 3;
    const QString message = QString::fromUtf8(argv[3]);
    const QByteArray type = argv[2];
    if (type == "debug")
        qDebug().noquote() << message;
    else if (type == "warning")
        qWarning().noquote() << message;
    else if (type == "critical")
        qCritical().noquote() << message;
    else
        qInfo().noquote() << message;
    while (std::fgetc(stdin) != EOF) {
    }
    return 0;
}

class TestMessageHandler : public QObject
{
    Q_OBJECT

private slots:
    void logLine_data();
    void logLine();
    void writesAndFlushes_data();
    void writesAndFlushes();
    void panelWithoutDisplaySaysWhy();
};

void TestMessageHandler::logLine_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("stream");

    QTest::newRow("info") << int(QtInfoMsg) << "0 (\"Prototype\")" << QByteArray("0 (\"Prototype\")\n") << "out";
    QTest::newRow("info empty") << int(QtInfoMsg) << "" << QByteArray("\n") << "out";
    QTest::newRow("info percent verbatim") << int(QtInfoMsg) << "100% %s %d %n" << QByteArray("100% %s %d %n\n")
                                           << "out";
    QTest::newRow("info utf-8") << int(QtInfoMsg) << QString::fromUtf8("K\u00fcche \u20ac 3\u00b0")
                                << QByteArray("K\xc3\xbc" "che \xe2\x82\xac 3\xc2\xb0\n") << "out";
    QTest::newRow("info own line feed kept") << int(QtInfoMsg) << "a\nb" << QByteArray("a\nb\n") << "out";
    QTest::newRow("debug") << int(QtDebugMsg) << "DATA_PATH" << QByteArray() << "";
    QTest::newRow("warning") << int(QtWarningMsg) << "warn" << QByteArray() << "";
    QTest::newRow("critical") << int(QtCriticalMsg) << "crit 50%" << QByteArray("crit 50%\n") << "err";
    QTest::newRow("fatal") << int(QtFatalMsg) << "fatal\nsecond line" << QByteArray("fatal\nsecond line\n") << "err";
}

void TestMessageHandler::logLine()
{
    QFETCH(int, type);
    QFETCH(QString, message);
    QFETCH(QByteArray, expected);
    QFETCH(QString, stream);
    QCOMPARE(::logLine(QtMsgType(type), message), expected);
    const FILE *expectedStream = stream == "out" ? stdout : stream == "err" ? stderr : nullptr;
    QCOMPARE(logStream(QtMsgType(type)), expectedStream);
}

void TestMessageHandler::writesAndFlushes_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");

    QTest::newRow("info") << "info" << QString::fromUtf8("50% K\u00fcche") << QByteArray("50% K\xc3\xbc" "che\n")
                          << QByteArray();
    QTest::newRow("debug dropped") << "debug" << "DATA_PATH" << QByteArray() << QByteArray();
    QTest::newRow("warning dropped") << "warning" << "warn" << QByteArray() << QByteArray();
    QTest::newRow("critical on standard error") << "critical" << "crit" << QByteArray() << QByteArray("crit\n");
}

void TestMessageHandler::writesAndFlushes()
{
    QFETCH(QString, type);
    QFETCH(QString, message);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);

    // The suite filters debug lines by rule; the child must rely on the handler alone.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_LOGGING_RULES"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), { "--emit", type, message });
    QVERIFY(child.waitForStarted());
    if (!err.isEmpty())
        child.setReadChannel(QProcess::StandardError);
    // Both are pipes here, fully buffered unless the handler flushes.
    QByteArray gotOut, gotErr;
    while ((gotOut.size() < out.size() || gotErr.size() < err.size()) && child.waitForReadyRead(30000)) {
        gotOut += child.readAllStandardOutput();
        gotErr += child.readAllStandardError();
    }
    QCOMPARE(child.state(), QProcess::Running);
    QCOMPARE(gotOut, out);
    QCOMPARE(gotErr, err);
    child.closeWriteChannel();
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(child.readAllStandardOutput(), QByteArray());
    QCOMPARE(child.readAllStandardError(), QByteArray());
}

void TestMessageHandler::panelWithoutDisplaySaysWhy()
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

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--emit") == 0)
        return emitMessage(argc, argv);
    QCoreApplication app(argc, argv);
    TestMessageHandler test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_messagehandler.moc"
