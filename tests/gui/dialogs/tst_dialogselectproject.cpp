#include "gui/dialogs/dialogselectproject.h"

#include "core/package/projectdirectory.h"
#include "tests/support/testsupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QNetworkDatagram>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

const quint16 transferPort = 64403;

// A package the panel loads, with `picture` beside its document.
QByteArray loadablePackage(const QByteArray &picture = "PNG")
{
    return packageBytes({{"project",
                          "<p><pagex>800</pagex><pagey>600</pagey><Pages><page><id>A</id></page>"
                          "</Pages></p>"},
                         {"icons/a.png", picture}});
}

// The designer's side answers every greeting, counted in *greetings.
void answerGreetings(QUdpSocket &designer, int *greetings)
{
    QObject::connect(&designer, &QUdpSocket::readyRead, &designer, [&designer, greetings] {
        while (designer.hasPendingDatagrams()) {
            const QNetworkDatagram request = designer.receiveDatagram();
            if (request.data() == "HELLO") {
                ++*greetings;
                designer.writeDatagram(request.makeReply("WAVE"));
            }
        }
    });
}

QStringList comboItems(const QComboBox *box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

} // namespace

class TestDialogSelectProject : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void clickChoosesProject();

    void discovery();
    void fullTransfer();
    void stalledTransfer();
    void spoofedAndBrokenPackagesKeepTheGoodOne();

private:
    // The dialog asks the test's designer socket for a package; returns once
    // the request has arrived there.
    bool request(DialogSelectProject &dialog, UdpPeer &designer);
    void setTarget(DialogSelectProject &dialog, quint16 port);
    ProjectFolder projects;
};

void TestDialogSelectProject::initTestCase()
{
    // The dialog broadcasts to every network it finds.
    if (!onlyLoopbackIsUp())
        QSKIP("a network other than loopback is up; run in a private network namespace");
}

void TestDialogSelectProject::init()
{
    QVERIFY(projects.reset());
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

void TestDialogSelectProject::clickChoosesProject()
{
    for (const char *f : {"Alpha.qlxd", "beta.qlxd", "Gamma.qlxd.qlxd"})
        QVERIFY(writeFile(projectDirectory() + f, "x"));
    DialogSelectProject dialog;
    QVERIFY(dialog.selectedProject().isEmpty());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    auto *list = dialog.findChild<QListWidget *>("listWidget");
    const auto found = list->findItems("beta", Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    const QRect rect = list->visualItemRect(found.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.selectedProject(), projectDirectory() + "beta.qlxd");
}

void TestDialogSelectProject::discovery()
{
    if (runsUnderWine())
        QSKIP("Wine gives every loopback sender as 127.0.0.1: the hosts beside the designer cannot be told apart");
    // The designer answers each greeting once. A host beside it sends "WAVE"
    // all the time, from before the dialog opens: it used to be listed first,
    // and so preselected.
    QUdpSocket designer;
    QVERIFY(designer.bind(QHostAddress::AnyIPv4, 64402));
    int greetings = 0;
    answerGreetings(designer, &greetings);
    UdpPeer sprayer(QHostAddress(QStringLiteral("127.0.0.2")));
    QTimer spray;
    connect(&spray, &QTimer::timeout, this, [&sprayer] {
        for (int i = 0; i < 5; ++i)
            sprayer.send("WAVE", 64404);
    });
    spray.start(1);
    QTest::ignoreMessage(QtCriticalMsg,
                         "Discovery: answers from 127.0.0.2 dropped from now on, it answers more often than it is "
                         "greeted");

    DialogSelectProject dialog;
    auto *hosts = dialog.findChild<QComboBox *>("comboBoxHost");
    // The first greeting goes out at construction, the next ones every two seconds.
    QTRY_VERIFY_WITH_TIMEOUT(greetings >= 3, 7000);
    QCOMPARE(comboItems(hosts), QStringList{"127.0.0.1"});
    QCOMPARE(hosts->currentText(), QStringLiteral("127.0.0.1"));

    // A second designer answers from another address; near misses are no answers.
    UdpPeer second(QHostAddress(QStringLiteral("127.0.0.3")));
    QVERIFY(second.send("wave", transferPort) && second.send("WAVES", 64404) && second.send("WAVE", 64404));
    QTRY_COMPARE(comboItems(hosts), (QStringList{"127.0.0.1", "127.0.0.3"}));
    QCOMPARE(hosts->currentText(), QStringLiteral("127.0.0.1"));
}

void TestDialogSelectProject::fullTransfer()
{
    // The panel's dialog against qlxd serve, the designer's stand-in. Equal
    // pieces follow each other, as in a picture with a plain background.
    const QByteArray bytes = loadablePackage(patternBytes(2000) + QByteArray(8000, '\0'));
    QTemporaryDir source;
    QVERIFY(writeFile(source.filePath("Demo.qlxd"), bytes));
    QVERIFY(writeFile(projectDirectory() + "Demo.qlxd", "an older package"));
    QProcess server;
    server.start(QStringLiteral(QALIX_BUILD_DIR "/qlxd"),
                 {"serve", "--once", "--bind", "127.0.0.1", "--port", "0", "--piece-size", "1000",
                  source.filePath("Demo.qlxd")});
    QVERIFY(server.waitForStarted() && server.waitForReadyRead());
    const QRegularExpressionMatch port =
        QRegularExpression(" on 127\\.0\\.0\\.1:(\\d+)$").match(QString::fromUtf8(server.readLine()).trimmed());
    QVERIFY(port.hasMatch());

    DialogSelectProject dialog;
    auto *progress = dialog.findChild<QProgressBar *>("progressBarState");
    setTarget(dialog, quint16(port.captured(1).toUInt()));
    // --once: the server ends with the last piece. The dialog needs the event
    // loop meanwhile, so no blocking wait.
    QTRY_COMPARE_WITH_TIMEOUT(server.state(), QProcess::NotRunning, 30000);
    QCOMPARE(server.exitCode(), 0);
    QTRY_COMPARE(readFile(projectDirectory() + "Demo.qlxd"), bytes);
    QCOMPARE(treeListing(projectDirectory()), QStringList{"Demo.qlxd " + QString::number(bytes.size())});
    QCOMPARE(progress->value(), 100);
    QCOMPARE(dialog.findChild<QPushButton *>("pushButtonDownload")->text(), QStringLiteral("Herunterladen"));
}

void TestDialogSelectProject::stalledTransfer()
{
    QVERIFY(writeFile(projectDirectory() + "Demo.qlxd", "good package"));
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
    QCOMPARE(treeListing(projectDirectory()), QStringList{"Demo.qlxd 12"});

    // A new request starts afresh.
    QVERIFY(request(dialog, designer));
    QCOMPARE(button->text(), QStringLiteral("Herunterladen"));
}

void TestDialogSelectProject::spoofedAndBrokenPackagesKeepTheGoodOne()
{
    QVERIFY(writeFile(projectDirectory() + "Demo.qlxd", loadablePackage()));
    // Every byte arrives, but the document is cut off inside.
    const QByteArray broken = packageBytes({{"project", "<p><pagex>800</pagex><Pa"}, {"icons/a.png", "PNG"}});
    UdpPeer designer;
    UdpPeer beside; // another program on the designer's computer
    DialogSelectProject dialog;
    auto *button = dialog.findChild<QPushButton *>("pushButtonDownload");
    QVERIFY(request(dialog, designer));
    QVERIFY(designer.send("Demo=" + QByteArray::number(broken.size()), transferPort));
    QCOMPARE(designer.next(), QByteArray("0"));
    // An 8-byte piece from another port is no piece: not stored, not acknowledged.
    QVERIFY(beside.send("QUJDREVG", transferPort));
    QCOMPARE(designer.next(300), QByteArray());
    QTest::ignoreMessage(QtCriticalMsg,
                         QRegularExpression("^Transfer failed: the package received for Demo would "
                                            "not load, its project document does not parse: .*; "
                                            ".*/projects/Demo\\.qlxd stays as it was$"));
    QVERIFY(designer.send(broken.toBase64(), transferPort));
    QTRY_COMPARE(button->text(), QStringLiteral("Übertragung fehlgeschlagen: Package beschädigt"));
    QCOMPARE(dialog.findChild<QProgressBar *>("progressBarState")->value(), 0);
    QCOMPARE(readFile(projectDirectory() + "Demo.qlxd"), loadablePackage());
    QCOMPARE(treeListing(projectDirectory()).size(), 1);
}

QTEST_MAIN(TestDialogSelectProject)
#include "tst_dialogselectproject.moc"
