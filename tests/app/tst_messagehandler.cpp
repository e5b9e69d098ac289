#include "app/messagehandler.h"

#include <QtTest>

#include <cstdio>

// Run as a child with "--emit <type> <message>" the executable installs the
// handler, logs one message and waits until its standard input closes, so the
// parent sees what really reaches standard output, and that it came unasked
// (flushed by the handler).

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
    void writesToStandardOutput_data();
    void writesToStandardOutput();
};

void TestMessageHandler::logLine_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("info") << int(QtInfoMsg) << "0 (\"Prototype\")" << QByteArray("0 (\"Prototype\")\n");
    QTest::newRow("info empty") << int(QtInfoMsg) << "" << QByteArray("\n");
    QTest::newRow("info percent verbatim") << int(QtInfoMsg) << "100% %s %d %n" << QByteArray("100% %s %d %n\n");
    QTest::newRow("info utf-8") << int(QtInfoMsg) << QString::fromUtf8("K\u00fcche \u20ac 3\u00b0")
                                << QByteArray("K\xc3\xbc" "che \xe2\x82\xac 3\xc2\xb0\n");
    QTest::newRow("info own line feed kept") << int(QtInfoMsg) << "a\nb" << QByteArray("a\nb\n");
    QTest::newRow("debug") << int(QtDebugMsg) << "DATA_PATH" << QByteArray();
    QTest::newRow("warning") << int(QtWarningMsg) << "warn" << QByteArray();
    QTest::newRow("critical") << int(QtCriticalMsg) << "crit" << QByteArray();
    QTest::newRow("fatal") << int(QtFatalMsg) << "fatal" << QByteArray();
}

void TestMessageHandler::logLine()
{
    QFETCH(int, type);
    QFETCH(QString, message);
    QFETCH(QByteArray, expected);
    QCOMPARE(::logLine(QtMsgType(type), message), expected);
}

void TestMessageHandler::writesToStandardOutput_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("info") << "info" << QString::fromUtf8("50% K\u00fcche") << QByteArray("50% K\xc3\xbc" "che\n");
    QTest::newRow("debug dropped") << "debug" << "DATA_PATH" << QByteArray();
    QTest::newRow("warning dropped") << "warning" << "warn" << QByteArray();
    QTest::newRow("critical dropped") << "critical" << "crit" << QByteArray();
}

void TestMessageHandler::writesToStandardOutput()
{
    QFETCH(QString, type);
    QFETCH(QString, message);
    QFETCH(QByteArray, expected);

    // The suite filters debug lines by rule; the child must rely on the handler alone.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_LOGGING_RULES"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), { "--emit", type, message });
    QVERIFY(child.waitForStarted());
    // stdout is a pipe here, fully buffered unless the handler flushes.
    QByteArray out;
    while (!expected.isEmpty() && !out.contains('\n') && child.waitForReadyRead(30000))
        out += child.readAllStandardOutput();
    QCOMPARE(child.state(), QProcess::Running);
    QCOMPARE(out, expected);
    child.closeWriteChannel();
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(child.readAllStandardOutput(), QByteArray());
    QCOMPARE(child.readAllStandardError(), QByteArray());
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
