#include "app/startup.h"

#include <QtTest>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void probe_data();
    void probe();
    void joinStyleSheets_data();
    void joinStyleSheets();
    void readStyleSheet_data();
    void readStyleSheet();

    // The built program, copied into a folder of its own.
    void panelPrintsOnlyTheFontLine();
    void panelFailsLoudlyWithoutProjectsDirectory();
    void panelEndsWithoutStyleSheet_data();
    void panelEndsWithoutStyleSheet();

private:
    // Starts a copy of the built panel in dir with one argument; libraries
    // are looked up in libDir first.
    bool startPanel(QProcess &process, const QTemporaryDir &dir, const QString &libDir = QString());
};

void TestStartup::probe_data()
{
    QTest::addColumn<QString>("layout");   // what exists below the temporary folder
    QTest::addColumn<QString>("directory");
    QTest::addColumn<bool>("expected");

    QTest::newRow("existing folder") << "dir:projects" << "projects/" << true;
    QTest::newRow("missing folder is created") << "" << "projects/" << true;
    QTest::newRow("missing parents are created") << "" << "a/b/projects/" << true;
    QTest::newRow("path is a file") << "file:projects" << "projects/" << false;
    QTest::newRow("parent is a file") << "file:a" << "a/projects/" << false;
    QTest::newRow("probe name is a folder") << "dir:projects/testFile" << "projects/" << false;
    QTest::newRow("probe file of an earlier run kept") << "keep:testFile" << "" << true;
}

void TestStartup::probe()
{
    QFETCH(QString, layout);
    QFETCH(QString, directory);
    QFETCH(bool, expected);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    if (layout.startsWith("dir:")) {
        QVERIFY(QDir(root.path()).mkpath(layout.mid(4)));
    } else if (!layout.isEmpty()) {
        QFile file(root.filePath(layout.mid(layout.indexOf(':') + 1)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(layout.toUtf8());
    }

    const QString path = root.path() + "/" + directory;
    QCOMPARE(probeProjectDirectory(path), expected);
    if (expected)
        QVERIFY(QFileInfo(path + "testFile").isFile());
    if (layout.startsWith("keep:")) {
        QFile probe(path + "testFile");
        QVERIFY(probe.open(QIODevice::ReadOnly));
        QCOMPARE(probe.readAll(), layout.toUtf8());
    }
}

void TestStartup::joinStyleSheets_data()
{
    QTest::addColumn<QByteArray>("mainSheet");
    QTest::addColumn<QByteArray>("platformSheet");
    QTest::addColumn<QString>("expected");

    QTest::newRow("both") << QByteArray("QLabel { color: #EEEEEE; }") << QByteArray("QFrame {}")
                          << "QLabel { color: #EEEEEE; }\n\nQFrame {}";
    QTest::newRow("empty platform sheet") << QByteArray("QLabel {}") << QByteArray() << "QLabel {}\n\n";
    QTest::newRow("both empty") << QByteArray() << QByteArray() << "\n\n";
    QTest::newRow("platform sheet ends at zero byte")
        << QByteArray("A") << QByteArray("B\0C", 3) << "A\n\nB";
    QTest::newRow("platform sheet starts with zero byte")
        << QByteArray("A") << QByteArray("\0C", 2) << "A\n\n";
    QTest::newRow("main sheet ends at zero byte")
        << QByteArray("A\0junk", 6) << QByteArray("B") << "A\n\nB";
    QTest::newRow("utf-8") << QByteArray("/* K\xc3\xbc" "che */") << QByteArray("/* \xe2\x82\xac */")
                           << QString::fromUtf8("/* K\u00fcche */\n\n/* \u20ac */");
    QTest::newRow("line ends kept") << QByteArray("A\r\n") << QByteArray("\nB\n") << "A\r\n\n\n\nB\n";
}

void TestStartup::joinStyleSheets()
{
    QFETCH(QByteArray, mainSheet);
    QFETCH(QByteArray, platformSheet);
    QFETCH(QString, expected);
    QCOMPARE(::joinStyleSheets(mainSheet, platformSheet), expected);
}

void TestStartup::readStyleSheet_data()
{
    QTest::addColumn<QString>("mainPath");
    QTest::addColumn<QString>("platformPath");
    QTest::addColumn<bool>("expected");

    QTest::newRow("resources") << ":/style/css" << ":/style/css_win" << true;
    QTest::newRow("main sheet missing") << ":/style/missing" << ":/style/css_win" << false;
    QTest::newRow("platform sheet missing") << ":/style/css" << ":/style/missing" << false;
}

void TestStartup::readStyleSheet()
{
    QFETCH(QString, mainPath);
    QFETCH(QString, platformPath);
    QFETCH(bool, expected);

    const QString untouched = QStringLiteral("untouched");
    QString sheet = untouched;
    QCOMPARE(::readStyleSheet(mainPath, platformPath, &sheet), expected);
    if (!expected) {
        QCOMPARE(sheet, untouched);
        return;
    }
    QFile mainFile(mainPath);
    QVERIFY(mainFile.open(QIODevice::ReadOnly));
    // The platform supplement is empty: the main sheet and two line feeds.
    QCOMPARE(sheet, QString::fromUtf8(mainFile.readAll()) + "\n\n");
    QVERIFY(sheet.contains("QPushButton"));
}

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

// Renames one entry of the library's compiled-in resource tree: the entry's
// name record is its length (16 bit), its hash (32 bit) and its UTF-16 text.
static bool renameResourceEntry(QByteArray *library, const QString &name)
{
    QByteArray record(2, '\0');
    record[1] = char(name.size());
    QByteArray text;
    for (const QChar c : name)
        text.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
    int found = -1;
    for (int at = library->indexOf(text); at >= 6; at = library->indexOf(text, at + 1)) {
        if (library->mid(at - 6, 2) != record)
            continue;
        if (found >= 0)
            return false; // ambiguous
        found = at;
    }
    if (found < 0)
        return false;
    (*library)[found + text.size() - 1] = 'x';
    return true;
}

void TestStartup::panelEndsWithoutStyleSheet_data()
{
    QTest::addColumn<QString>("entry");
    QTest::newRow("main sheet missing") << "css";
    QTest::newRow("platform sheet missing") << "css_win";
}

void TestStartup::panelEndsWithoutStyleSheet()
{
    QFETCH(QString, entry);
    QTemporaryDir dir;
    // A variant of the library without that style sheet, found before the
    // built one through the search path.
    QFile built(QStringLiteral(QALIX_BUILD_DIR "/libqalix_gui.so"));
    QVERIFY(built.open(QIODevice::ReadOnly));
    QByteArray library = built.readAll();
    QVERIFY2(renameResourceEntry(&library, entry), qPrintable(entry));
    QVERIFY(QDir(dir.path()).mkdir("lib"));
    QFile variant(dir.filePath("lib/libqalix_gui.so"));
    QVERIFY(variant.open(QIODevice::WriteOnly));
    QCOMPARE(variant.write(library), qint64(library.size()));
    variant.close();

    QProcess process;
    QVERIFY(startPanel(process, dir, dir.filePath("lib")));
    // It ends on its own: no window, no event loop.
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(process.readAllStandardOutput(), QByteArray("0 (\"Prototype\")\n"));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
