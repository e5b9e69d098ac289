#include "download/dialogselectproject.h"

#include "tools/support/designerserver.h"
#include "storage/projectdirectory.h"
#include "udppeerhelper.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

namespace {

const quint16 transferPort = 64403;

QStringList listed(const DialogSelectProject &dialog)
{
    QStringList names;
    const auto *list = dialog.findChild<QListWidget *>("listWidget");
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

QStringList projectFiles()
{
    return QDir(projectDirectory()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

} // namespace

class TestDialogSelectProject : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void listOrder_data();
    void listOrder();
    void clickChoosesProject_data();
    void clickChoosesProject();
    void layoutByShape_data();
    void layoutByShape();

    void discovery();
    void fullTransfer();
    void stalledTransfer();
    void hostileHeaders_data();
    void hostileHeaders();
    void piecesFromStrangers();
    void oversizedDatagram();

private:
    // The dialog asks the test's designer socket for a package; returns once
    // the request has arrived there.
    bool request(DialogSelectProject &dialog, UdpPeer &designer);
    void setTarget(DialogSelectProject &dialog, quint16 port);
};

void TestDialogSelectProject::initTestCase()
{
    // The dialog broadcasts to every network it finds.
    if (!onlyLoopbackIsUp())
        QSKIP("a network other than loopback is up; run in a private network namespace");
}

void TestDialogSelectProject::init()
{
    QDir dir(projectDirectory());
    QVERIFY(dir.removeRecursively());
    QVERIFY(QDir().mkpath(projectDirectory()));
}

void TestDialogSelectProject::setTarget(DialogSelectProject &dialog, quint16 port)
{
    dialog.findChild<QComboBox *>("comboBoxHost")->setEditText("127.0.0.1");
    dialog.findChild<QLineEdit *>("lineEditPort")->setText(QString::number(port));
    dialog.findChild<QPushButton *>("pushButtonDownload")->click();
}

bool TestDialogSelectProject::request(DialogSelectProject &dialog, UdpPeer &designer)
{
    setTarget(dialog, designer.port());
    return designer.next() == "START";
}

void TestDialogSelectProject::listOrder_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("Alpha before beta") << QStringList{"beta.qlxd", "Alpha.qlxd"} << QStringList{"Alpha", "beta"};
    QTest::newRow("double extension") << QStringList{"Gamma.qlxd.qlxd"} << QStringList{"Gamma"};
    QTest::newRow("other files left out") << QStringList{"notes.txt", "b.qlxd", "settings.ini", "testFile"}
                                          << QStringList{"b"};
    QTest::newRow("by name, not by number") << QStringList{"item10.qlxd", "Item2.qlxd", "item1.qlxd"}
                                            << QStringList{"item1", "item10", "Item2"};
    QTest::newRow("extension in capitals") << QStringList{"X.QLXD"} << QStringList{"X.QLXD"};
    QTest::newRow("empty directory") << QStringList{} << QStringList{};
}

void TestDialogSelectProject::listOrder()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, names);

    for (const QString &file : files)
        writeFile(projectDirectory() + file, "x");
    DialogSelectProject dialog;
    QCOMPARE(listed(dialog), names);
}

void TestDialogSelectProject::clickChoosesProject_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("file");

    QTest::newRow("beta") << "beta" << "beta.qlxd";
    QTest::newRow("double extension") << "Gamma" << "Gamma.qlxd.qlxd";
}

void TestDialogSelectProject::clickChoosesProject()
{
    QFETCH(QString, name);
    QFETCH(QString, file);

    for (const char *f : {"Alpha.qlxd", "beta.qlxd", "Gamma.qlxd.qlxd"})
        writeFile(projectDirectory() + f, "x");
    DialogSelectProject dialog;
    QVERIFY(dialog.selectedProject().isEmpty());
    QCOMPARE(dialog.findChild<QLineEdit *>("lineEditPort")->text(), QStringLiteral("64402"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    auto *list = dialog.findChild<QListWidget *>("listWidget");
    const auto found = list->findItems(name, Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    const QRect rect = list->visualItemRect(found.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.selectedProject(), projectDirectory() + file);
    QVERIFY(QFile::exists(dialog.selectedProject()));
}

void TestDialogSelectProject::layoutByShape_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("sideBySide");
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("font");
    QTest::addColumn<int>("dropDown");

    QTest::newRow("landscape 800 x 480") << QSize(800, 480) << true << 32 << 16 << 48;
    QTest::newRow("portrait 480 x 800") << QSize(480, 800) << false << 32 << 16 << 48;
    QTest::newRow("square 600 x 600") << QSize(600, 600) << false << 40 << 20 << 60;
    QTest::newRow("large 1920 x 1080") << QSize(1920, 1080) << true << 72 << 36 << 108;
}

void TestDialogSelectProject::layoutByShape()
{
    QFETCH(QSize, size);
    QFETCH(bool, sideBySide);
    QFETCH(int, entry);
    QFETCH(int, font);
    QFETCH(int, dropDown);

    writeFile(projectDirectory() + "Demo.qlxd", "x");
    DialogSelectProject dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.resize(size);
    QTRY_COMPARE(dialog.size(), size);
    QCoreApplication::processEvents();

    auto *layout = dialog.findChild<QBoxLayout *>("currentLayout");
    QVERIFY(layout);
    QCOMPARE(layout->direction(), sideBySide ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    QCOMPARE(layout->stretch(0), 20);
    QCOMPARE(layout->stretch(1), 1);
    auto *list = dialog.findChild<QListWidget *>("listWidget");
    auto *panel = dialog.findChild<QWidget *>("widgetDownload");
    const QPoint listAt = list->mapTo(&dialog, QPoint());
    const QPoint panelAt = panel->mapTo(&dialog, QPoint());
    if (sideBySide)
        QVERIFY(panelAt.x() > listAt.x() + list->width() - 1);
    else
        QVERIFY(panelAt.y() > listAt.y() + list->height() - 1);

    QCOMPARE(list->item(0)->font().pixelSize(), entry);
    for (const char *name : {"labelScreen", "labelInfo", "labelHost", "labelPort", "labelProjects",
                             "lineEditPort", "pushButtonDownload"}) {
        auto *widget = dialog.findChild<QWidget *>(name);
        QVERIFY2(widget, name);
        widget->ensurePolished();
        QCOMPARE(widget->font().pixelSize(), font);
    }
    auto *combo = dialog.findChild<QComboBox *>("comboBoxHost");
    QCOMPARE(combo->styleSheet(), QStringLiteral("QComboBox{ font-size: %1px; background-color: transparent; } "
                                                 "QComboBox::drop-down { width: %2px; }")
                                      .arg(font)
                                      .arg(dropDown));
    QCOMPARE(panel->layout()->contentsMargins(), QMargins(0, 0, 0, entry));
}

void TestDialogSelectProject::discovery()
{
    DesignerServer designer(QStringLiteral("Demo"), testPackage(10));
    QVERIFY2(designer.listen(QHostAddress::AnyIPv4, 64402), qPrintable(designer.errorString()));
    QSignalSpy hello(&designer, &DesignerServer::discovered);

    DialogSelectProject dialog;
    auto *hosts = dialog.findChild<QComboBox *>("comboBoxHost");
    // The first request goes out at construction, the next two seconds later.
    QVERIFY(hello.wait());
    QTRY_COMPARE(hosts->count(), 1);
    QCOMPARE(hosts->itemText(0), QStringLiteral("127.0.0.1"));
    QCOMPARE(hosts->currentText(), QStringLiteral("127.0.0.1"));
    QVERIFY(hello.wait(5000));
    QCoreApplication::processEvents();
    QCOMPARE(hosts->count(), 1);

    // A second designer answers from another address; near misses are no answers.
    UdpPeer second(QHostAddress(QStringLiteral("127.0.0.2")));
    QVERIFY(second.isBound());
    QVERIFY(second.send("wave", transferPort));
    QVERIFY(second.send("WAVES", 64404));
    QVERIFY(second.send("WAVE", 64404));
    QTRY_COMPARE(hosts->count(), 2);
    QCOMPARE(hosts->itemText(1), QStringLiteral("127.0.0.2"));
    QVERIFY(second.send("WAVE", transferPort));
    QVERIFY(second.next(300).isNull());
    QCOMPARE(hosts->count(), 2);
    QCOMPARE(hosts->currentText(), QStringLiteral("127.0.0.1"));
}

void TestDialogSelectProject::fullTransfer()
{
    // Equal pieces follow each other, as in a picture with a plain background.
    const QByteArray bytes = testPackage(2000) + QByteArray(8000, '\0');
    DesignerServer designer(QStringLiteral("Demo"), bytes);
    designer.setPieceSize(1000);
    QVERIFY(designer.listen(QHostAddress::LocalHost, 0));
    QSignalSpy finished(&designer, &DesignerServer::transferFinished);
    QSignalSpy pieces(&designer, &DesignerServer::pieceSent);

    DialogSelectProject dialog;
    auto *progress = dialog.findChild<QProgressBar *>("progressBarState");
    QList<int> shown;
    connect(progress, &QProgressBar::valueChanged, this, [&](int value) { shown << value; });

    setTarget(dialog, designer.localPort());
    QVERIFY(finished.wait());
    QTRY_COMPARE(listed(dialog), QStringList{"Demo"});

    QCOMPARE(pieces.count(), 10);
    QCOMPARE(readFile(projectDirectory() + "Demo.qlxd"), bytes);
    QCOMPARE(projectFiles(), QStringList{"Demo.qlxd"});
    QCOMPARE(progress->maximum(), 100);
    QCOMPARE(shown, (QList<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    QCOMPARE(dialog.findChild<QPushButton *>("pushButtonDownload")->text(), QStringLiteral("Herunterladen"));
}

void TestDialogSelectProject::stalledTransfer()
{
    writeFile(projectDirectory() + "Demo.qlxd", "good package");
    UdpPeer designer;
    DialogSelectProject dialog;
    dialog.setStallLimit(300);
    auto *button = dialog.findChild<QPushButton *>("pushButtonDownload");
    QVERIFY(request(dialog, designer));
    QVERIFY(designer.send("Demo=6", transferPort));
    QCOMPARE(designer.next(), QByteArray("0"));
    QVERIFY(designer.send(QByteArray("abcd").toBase64(), transferPort));
    QCOMPARE(designer.next(), QByteArray("4"));

    // The designer falls silent.
    QTest::ignoreMessage(QtCriticalMsg, "Transfer failed: nothing from 127.0.0.1 for 0.3 s, 4 of 6 bytes received");
    QTRY_COMPARE(button->text(), QStringLiteral("Übertragung fehlgeschlagen: keine Daten mehr"));
    QCOMPARE(dialog.findChild<QProgressBar *>("progressBarState")->value(), 0);
    QCOMPARE(readFile(projectDirectory() + "Demo.qlxd"), QByteArray("good package"));
    QCOMPARE(projectFiles(), QStringList{"Demo.qlxd"});

    // A new transfer works afterwards.
    QVERIFY(request(dialog, designer));
    QCOMPARE(button->text(), QStringLiteral("Herunterladen"));
    QVERIFY(designer.send("Demo=2", transferPort));
    QCOMPARE(designer.next(), QByteArray("0"));
    QVERIFY(designer.send(QByteArray("ok").toBase64(), transferPort));
    QTRY_COMPARE(readFile(projectDirectory() + "Demo.qlxd"), QByteArray("ok"));
    QCOMPARE(projectFiles(), QStringList{"Demo.qlxd"});
}

void TestDialogSelectProject::hostileHeaders_data()
{
    QTest::addColumn<QByteArray>("header");

    QTest::newRow("parent folder") << QByteArray("../evil=6");
    QTest::newRow("absolute path") << QByteArray("/tmp/evil=6");
    QTest::newRow("control character") << QByteArray("ev\til=6");
    QTest::newRow("zero size") << QByteArray("evil=0");
}

void TestDialogSelectProject::hostileHeaders()
{
    QFETCH(QByteArray, header);

    const QString appDir = QCoreApplication::applicationDirPath();
    const QStringList appFiles = QDir(appDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    UdpPeer designer;
    DialogSelectProject dialog;
    QVERIFY(request(dialog, designer));

    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^Transfer header refused"));
    QVERIFY(designer.send(header, transferPort));
    QVERIFY(designer.next(300).isNull());
    auto *button = dialog.findChild<QPushButton *>("pushButtonDownload");
    QCOMPARE(button->text(), QStringLiteral("Ungültige Projektdaten empfangen"));
    // What follows a refused header is not stored either.
    QVERIFY(designer.send(QByteArray("abcdef").toBase64(), transferPort));
    QVERIFY(designer.next(300).isNull());

    QCOMPARE(projectFiles(), QStringList());
    QCOMPARE(QDir(appDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), appFiles);
    QVERIFY(!QFile::exists("/tmp/evil.qlxd"));
    QCOMPARE(listed(dialog), QStringList());

    // A new request starts afresh.
    QVERIFY(request(dialog, designer));
    QCOMPARE(button->text(), QStringLiteral("Herunterladen"));
}

void TestDialogSelectProject::piecesFromStrangers()
{
    UdpPeer designer;
    UdpPeer stranger(QHostAddress(QStringLiteral("127.0.0.2")));
    QVERIFY(stranger.isBound());
    DialogSelectProject dialog;
    QVERIFY(request(dialog, designer));

    // Before the header: a stranger's header does not start the transfer.
    QVERIFY(stranger.send("Evil=4", transferPort));
    QVERIFY(designer.next(300).isNull());
    QVERIFY(designer.send("Demo=6", transferPort));
    QCOMPARE(designer.next(), QByteArray("0"));
    // During it: a stranger's pieces are not stored and not acknowledged.
    QVERIFY(stranger.send(QByteArray("EVIL").toBase64(), transferPort));
    QVERIFY(stranger.send(QByteArray("EVIL").toBase64(), 64404));
    QVERIFY(designer.next(300).isNull());
    QVERIFY(stranger.next(1).isNull());
    QVERIFY(designer.send(QByteArray("abcd").toBase64(), transferPort));
    QCOMPARE(designer.next(), QByteArray("4"));
    QVERIFY(designer.send(QByteArray("ef").toBase64(), transferPort));
    QTRY_COMPARE(listed(dialog), QStringList{"Demo"});
    QCOMPARE(readFile(projectDirectory() + "Demo.qlxd"), QByteArray("abcdef"));
    QCOMPARE(projectFiles(), QStringList{"Demo.qlxd"});
}

void TestDialogSelectProject::oversizedDatagram()
{
    const QByteArray bytes = testPackage(3072);
    UdpPeer designer;
    DialogSelectProject dialog;
    QVERIFY(request(dialog, designer));
    QVERIFY(designer.send("Big=3072", transferPort));
    QCOMPARE(designer.next(), QByteArray("0"));
    // Everything past the first 4096 bytes is cut off; it would be too much.
    QVERIFY(designer.send(bytes.toBase64() + QByteArray(2000, 'A'), transferPort));
    QTRY_COMPARE(listed(dialog), QStringList{"Big"});
    QCOMPARE(readFile(projectDirectory() + "Big.qlxd"), bytes);
}

QTEST_MAIN(TestDialogSelectProject)
#include "tst_dialogselectproject.moc"
