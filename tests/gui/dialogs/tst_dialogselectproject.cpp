#include "gui/dialogs/dialogselectproject.h"

#include "core/package/projectdirectory.h"
#include "tests/support/testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QScrollBar>
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

    void clickChoosesProject_data();
    void clickChoosesProject();
    void padFillsTheFields_data();
    void padFillsTheFields();

    void discovery();
    void fullTransfer();
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

void TestDialogSelectProject::clickChoosesProject_data()
{
    QTest::addColumn<bool>("touch");
    QTest::addColumn<int>("drag"); // pixels the finger moves up before it lifts
    QTest::addColumn<bool>("chosen");

    QTest::newRow("a tap") << false << 0 << true;
    QTest::newRow("-touch: a tap") << true << 0 << true;
    QTest::newRow("-touch: a drag scrolls, opens nothing") << true << 200 << false;
}

void TestDialogSelectProject::clickChoosesProject()
{
    QFETCH(bool, touch);
    QFETCH(int, drag);
    QFETCH(bool, chosen);

    for (const char *f : {"Alpha.qlxd", "beta.qlxd", "Gamma.qlxd.qlxd"})
        QVERIFY(writeFile(projectDirectory() + f, "x"));
    // Long names alike but for their middle: with -touch shortened so that they stay apart.
    for (int i = 0; i < 40; ++i)
        QVERIFY(writeFile(
            projectDirectory() + QString("Verwaltung Gebäude Nord Etage %1 Heizung und Lüftung.qlxd").arg(i), "x"));
    DialogSelectProject dialog;
    dialog.setTouch(touch);
    dialog.resize(800, 480);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    auto *list = dialog.findChild<QListWidget *>("listWidget");
    QSet<QString> shown;
    for (int i = 0; i < list->count(); ++i) {
        const QString text = list->item(i)->text();
        shown.insert(text);
        QCOMPARE(QFontMetrics(list->item(i)->font()).horizontalAdvance(text) < list->viewport()->width(),
                 touch || !text.startsWith("Verwaltung"));
    }
    QCOMPARE(shown.size(), 43);
    const auto found = list->findItems("beta", Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    QPoint at(list->viewport()->width() / 3, list->visualItemRect(found.first()).center().y());
    static auto *const device = QTest::createTouchDevice(); // one for the run: Qt keeps each one made
    QTest::touchEvent(list->viewport(), device).press(0, at, list->viewport());
    for (int moved = 0; moved < drag; moved += 20) {
        QTest::qWait(20);
        at.ry() -= 20;
        QTest::touchEvent(list->viewport(), device).move(0, at, list->viewport());
    }
    QTest::touchEvent(list->viewport(), device).release(0, at, list->viewport());
    QTRY_COMPARE(dialog.result(), int(chosen ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(dialog.isVisible(), !chosen);
    if (chosen)
        QCOMPARE(dialog.selectedProject(), projectDirectory() + "beta.qlxd");
    else
        QTRY_VERIFY(list->verticalScrollBar()->value() > 0);
    QCOMPARE(dialog.isFullScreen(), touch);
}

void TestDialogSelectProject::padFillsTheFields_data()
{
    QTest::addColumn<bool>("touch");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("keys"); // B: delete, K: OK
    QTest::addColumn<QString>("text");

    QTest::newRow("port: five digits at most, no dot") << true << "lineEditPort"
                                                       << "BBBBB.123456K"
                                                       << "12345";
    QTest::newRow("host") << true << "comboBoxHost"
                          << "10.0.0.7K"
                          << "10.0.0.7";
    QTest::newRow("without -touch, no pad") << false << "lineEditPort"
                                            << ""
                                            << "64402";
}

void TestDialogSelectProject::padFillsTheFields()
{
    QFETCH(bool, touch);
    QFETCH(QString, field);
    QFETCH(QString, keys);
    QFETCH(QString, text);

    DialogSelectProject dialog;
    dialog.setTouch(touch);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QWidget *widget = dialog.findChild<QWidget *>(field);
    // A field and the download button a finger hits: as tall as the pad's keys.
    const int tap = touch ? qMin(dialog.width(), dialog.height()) / 10 : 0;
    QVERIFY(widget->height() >= tap && dialog.findChild<QWidget *>("pushButtonDownload")->height() >= tap);
    auto *edit = qobject_cast<QComboBox *>(widget) ? qobject_cast<QComboBox *>(widget)->lineEdit()
                                                   : qobject_cast<QLineEdit *>(widget);
    bool padSeen = false;
    QTimer::singleShot(100, this, [&] {
        auto *pad = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        padSeen = pad != nullptr;
        const QMap<QChar, QString> named{{'B', "Back"}, {'K', "Ok"}, {'.', "Dot"}};
        for (const QChar key : keys)
            QTest::mouseClick(pad->findChild<QPushButton *>("pushButton" + named.value(key, key)), Qt::LeftButton);
    });
    QTest::mouseClick(edit, Qt::LeftButton);
    QTest::qWait(200); // without -touch: no pad comes
    QCOMPARE(padSeen, touch);
    QCOMPARE(edit->text(), text);
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
