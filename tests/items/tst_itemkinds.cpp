#include "editors/frameupdater.h"
#include "storage/picturecache.h"
#include "tests/items/testhelper.h"

#include <QFontDatabase>
#include <QGraphicsScene>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

class TestItemKinds : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startingLook_data();
    void startingLook();
    void statePictureSequence_data();
    void statePictureSequence();
    void stateTextFollowsTheState_data();
    void stateTextFollowsTheState();
    void analogueFormatting_data();
    void analogueFormatting();
    void nonReactingKindsIgnoreValues_data();
    void nonReactingKindsIgnoreValues();
    void sceneWithEveryKind();
};

void TestItemKinds::initTestCase()
{
    writeProjectPicture(QStringLiteral("on.png"), 50, 50, Qt::green);
    writeProjectPicture(QStringLiteral("off.png"), 50, 50, Qt::darkGray);
    writeProjectPicture(QStringLiteral("unknown.png"), 50, 50, Qt::magenta);
}

void TestItemKinds::startingLook_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("startPicture");
    QTest::addColumn<bool>("pointingHand");
    QTest::addColumn<QString>("text");

    QTest::newRow("PageChange") << "PageChange" << ":/images/newLink" << false << "";
    QTest::newRow("Picture") << "Picture" << ":/images/newPicture" << false << "";
    QTest::newRow("StatePicture") << "StatePicture" << ":/images/newPictureState" << false << "";
    QTest::newRow("Button") << "Button" << ":/images/newButton" << true << "";
    QTest::newRow("StateButton") << "StateButton" << ":/images/newButtonState" << true << "";
    QTest::newRow("Text") << "Text" << ":/images/noicon" << false << "";
    QTest::newRow("StateText") << "StateText" << ":/images/noicon" << false << "";
    QTest::newRow("ADCText") << "ADCText" << ":/images/noicon" << false << "???.?";
}

void TestItemKinds::startingLook()
{
    QFETCH(QString, kind);
    QFETCH(QString, startPicture);
    QFETCH(bool, pointingHand);
    QFETCH(QString, text);

    std::unique_ptr<Item> item = makeKind(kind);
    QCOMPARE(item->picture().cacheKey(), PictureCache::picture(startPicture).cacheKey());
    QCOMPARE(item->boundingRect(), QRectF(0, 0, 50, 50));
    QCOMPARE(item->hasCursor() && item->cursor().shape() == Qt::PointingHandCursor, pointingHand);
    QCOMPARE(item->text(), text);
}

void TestItemKinds::statePictureSequence_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<int>("loads");

    const QList<double> seq{1.0, 1.0, 0.0, 5.0};
    const QStringList seqShown{"on", "on", "off", "on"};
    const QList<double> nans{qQNaN(), qQNaN(), qQNaN()};
    const QStringList nanShown{"on", "on", "on"};
    for (const char *kind : {"StateButton", "StatePicture"}) {
        QTest::newRow(qPrintable(QString::fromLatin1(kind) + " 1,1,0,5"))
                << kind << seq << seqShown << 3;
        QTest::newRow(qPrintable(QString::fromLatin1(kind) + " NaN reloads every time"))
                << kind << nans << nanShown << 3;
        QTest::newRow(qPrintable(QString::fromLatin1(kind) + " first value always applies"))
                << kind << QList<double>{0.0} << QStringList{"off"} << 1;
        QTest::newRow(qPrintable(QString::fromLatin1(kind) + " -0 equals 0"))
                << kind << QList<double>{0.0, -0.0} << QStringList{"off", "off"} << 1;
    }
}

void TestItemKinds::statePictureSequence()
{
    QFETCH(QString, kind);
    QFETCH(QList<double>, values);
    QFETCH(QStringList, shown);
    QFETCH(int, loads);

    std::unique_ptr<Item> item = makeKind(kind);
    editRecord(item.get(), [&](ItemRecord &r) { r.imageActive = QStringLiteral("on.png"); });
    editRecord(item.get(), [&](ItemRecord &r) { r.imageInactive = QStringLiteral("off.png"); });
    editRecord(item.get(), [&](ItemRecord &r) { r.imageUnknown = QStringLiteral("unknown.png"); });
    const QString dir = projectDirectory() + QStringLiteral("/icons/project/");
    QSignalSpy moved(item.get(), &Item::itemMoved);

    for (int i = 0; i < values.size(); ++i) {
        item->setValue(values.at(i));
        QCOMPARE(item->picture().cacheKey(), PictureCache::picture(dir + shown.at(i) + QStringLiteral(".png")).cacheKey());
    }
    QCOMPARE(moved.count(), loads);
}

void TestItemKinds::stateTextFollowsTheState_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("renderings");

    QTest::newRow("on, off, on") << QList<double>{1.0, 0.0, 2.0} << QStringList{"AN", "AUS", "AN"} << 3;
    QTest::newRow("3 after 7 does not re-render") << QList<double>{7.0, 3.0} << QStringList{"AN", "AN"} << 1;
    QTest::newRow("NaN is active") << QList<double>{0.0, qQNaN()} << QStringList{"AUS", "AN"} << 2;
}

void TestItemKinds::stateTextFollowsTheState()
{
    QFETCH(QList<double>, values);
    QFETCH(QStringList, texts);
    QFETCH(int, renderings);

    ItemStateText item(nullptr, nullptr);
    editRecord(&item, [&](ItemRecord &r) { r.textActive = QStringLiteral("AN"); });
    editRecord(&item, [&](ItemRecord &r) { r.textInactive = QStringLiteral("AUS"); });
    QSignalSpy moved(&item, &Item::itemMoved);
    for (int i = 0; i < values.size(); ++i) {
        item.setValue(values.at(i));
        QCOMPARE(item.text(), texts.at(i));
    }
    QCOMPARE(moved.count(), renderings);
    QCOMPARE(item.lastValue(), -99999999.0);
}

void TestItemKinds::analogueFormatting_data()
{
    QTest::addColumn<int>("digits");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("1 decimal rounds") << 1 << 21.456 << "21.5";
    QTest::newRow("1 decimal of zero") << 1 << 0.0 << "0.0";
    QTest::newRow("0 decimals") << 0 << 21.456 << "21";
    QTest::newRow("2 decimals") << 2 << 1.0 << "1.00";
    QTest::newRow("6 decimals") << 6 << -3.25 << "-3.250000";
    QTest::newRow("no grouping") << 0 << 1234567.0 << "1234567";
    QTest::newRow("above 6 is used as 6") << 9 << 0.5 << "0.500000";
}

void TestItemKinds::analogueFormatting()
{
    QFETCH(int, digits);
    QFETCH(double, value);
    QFETCH(QString, text);

    ItemADCText item(nullptr, nullptr);
    editRecord(&item, [&](ItemRecord &r) { r.digits = digits; });
    item.setValue(value);
    QCOMPARE(item.text(), text);
    QSignalSpy moved(&item, &Item::itemMoved);
    item.setValue(value);
    QCOMPARE(moved.count(), 0);
}

void TestItemKinds::nonReactingKindsIgnoreValues_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : {"PageChange", "Picture", "Button", "Text"})
        QTest::newRow(kind) << kind;
}

void TestItemKinds::nonReactingKindsIgnoreValues()
{
    QFETCH(QString, kind);
    std::unique_ptr<Item> item = makeKind(kind);
    editRecord(item.get(), [&](ItemRecord &r) { r.imageActive = QStringLiteral("on.png"); });
    const qint64 before = item->picture().cacheKey();
    QSignalSpy moved(item.get(), &Item::itemMoved);
    item->setValue(1.0);
    item->setValue(0.0);
    QCOMPARE(item->picture().cacheKey(), before);
    QCOMPARE(moved.count(), 0);
}

// One item of each kind on a dark page, as a person would see it; the grab
// is left in the build folder for a look.
void TestItemKinds::sceneWithEveryKind()
{
    QFontDatabase::addApplicationFont(QStringLiteral(":/font/normal"));
    writeProjectPicture(QStringLiteral("grab-link.png"), 64, 64, QColor(0x30, 0x60, 0xC0));
    writeProjectPicture(QStringLiteral("grab-picture.png"), 64, 64, QColor(0xE5, 0xDD, 0x00));
    writeProjectPicture(QStringLiteral("grab-button.png"), 64, 64, QColor(0xC0, 0x30, 0x30));

    QGraphicsScene scene(0, 0, 640, 200);
    scene.setBackgroundBrush(Qt::black);
    const QStringList names{"PageChange", "Picture", "StatePicture", "Button", "StateButton",
                            "Text", "StateText", "ADCText"};
    QList<Item *> items;
    for (int i = 0; i < names.size(); ++i) {
        Item *item = makeKind(names.at(i)).release();
        scene.addItem(item);
        item->SetPos(i < 5 ? 10 + i * 70 : 10 + (i - 5) * 200, i < 5 ? 10 : 110);
        items << item;
    }
    items[0]->loadPicture(QStringLiteral("grab-link.png"));
    items[1]->loadPicture(QStringLiteral("grab-picture.png"));
    editRecord(items[2], [](ItemRecord &r) { r.imageActive = QStringLiteral("on.png"); });
    editRecord(items[2], [](ItemRecord &r) { r.imageInactive = QStringLiteral("off.png"); });
    items[2]->setValue(1.0);
    items[3]->loadPicture(QStringLiteral("grab-button.png"));
    editRecord(items[4], [](ItemRecord &r) { r.imageActive = QStringLiteral("on.png"); });
    editRecord(items[4], [](ItemRecord &r) { r.imageInactive = QStringLiteral("off.png"); });
    items[4]->setValue(0.0);
    items[5]->refreshProperties();
    editRecord(items[6], [](ItemRecord &r) { r.textInactive = QStringLiteral("AUS"); });
    editRecord(items[6], [](ItemRecord &r) { r.color = 0xFF3030; });
    editRecord(items[6], [](ItemRecord &r) { r.bold = true; });
    items[6]->setValue(0.0);
    editRecord(items[7], [](ItemRecord &r) { r.digits = 1; });
    editRecord(items[7], [](ItemRecord &r) { r.fontSize = 30; });
    items[7]->setValue(21.456);

    QImage image(640, 200, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    scene.render(&painter);
    painter.end();
    image.save(QStringLiteral(QALIX_BUILD_DIR "/items-grab.png"));

    QCOMPARE(image.pixelColor(35, 35), QColor(0x30, 0x60, 0xC0));
    QCOMPARE(image.pixelColor(105, 35), QColor(0xE5, 0xDD, 0x00));
    QCOMPARE(image.pixelColor(175, 35), QColor(Qt::green));
    QCOMPARE(image.pixelColor(245, 35), QColor(0xC0, 0x30, 0x30));
    QCOMPARE(image.pixelColor(315, 35), QColor(Qt::darkGray));
    QCOMPARE(items[7]->text(), QStringLiteral("21.5"));
    // Every text left some light on the page where it lies.
    for (int i = 5; i < 8; ++i) {
        const QRect area = items[i]->mapRectToScene(items[i]->boundingRect()).toRect();
        QVERIFY(area.width() > 10);
        int lit = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                lit += qGray(image.pixel(x, y)) > 60 ? 1 : 0;
        QVERIFY2(lit > 20, qPrintable(names.at(i)));
    }
}

QTEST_MAIN(TestItemKinds)
#include "tst_itemkinds.moc"
