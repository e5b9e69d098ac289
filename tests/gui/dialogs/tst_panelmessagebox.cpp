#include "gui/dialogs/panelmessagebox.h"

#include <QAbstractButton>
#include <QtTest>

// The message boxes of a panel on a wall: a frame, and buttons a finger hits.
class TestPanelMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void buttonEdge_data()
    {
        QTest::addColumn<QSize>("area");
        QTest::addColumn<double>("dotsPerInch");
        QTest::addColumn<int>("edge");
        QTest::newRow("7-inch 800 x 480") << QSize(800, 480) << 133.0 << 48;
        QTest::newRow("portrait 1080 x 1920 at 96 dpi: as the PIN pad") << QSize(1080, 1920) << 96.0 << 108;
        QTest::newRow("a dense small screen: 9 mm") << QSize(720, 480) << 300.0 << 107;
    }
    void buttonEdge()
    {
        QFETCH(QSize, area);
        QFETCH(double, dotsPerInch);
        QFETCH(int, edge);
        QCOMPARE(PanelMessageBox::buttonEdge(area, dotsPerInch), edge);
    }

    void framedWithTheReasonApart()
    {
        QWidget window;
        window.resize(800, 480);
        window.setStyleSheet("background: black;");
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        PanelMessageBox box("Die Datei kann nicht entpackt werden!\n\nSpeicher voll.", &window);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QCOMPARE(box.text() + '|' + box.informativeText(),
                 QString("Die Datei kann nicht entpackt werden!|Speicher voll."));
        const QAbstractButton *ok = box.buttons().value(0);
        QVERIFY(ok && ok->width() >= 48 && ok->height() >= 48);
        const QImage shot = box.grab().toImage();
        QVERIFY(qGray(shot.pixel(0, shot.height() / 2)) > 200); // the frame, on the black page
    }
};

QTEST_MAIN(TestPanelMessageBox)
#include "tst_panelmessagebox.moc"
