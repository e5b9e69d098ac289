#include "storage/picturecache.h"
#include "tests/items/testhelper.h"

#include <QGraphicsScene>
#include <QtTest>

namespace {

const QStringList kinds{"PageChange", "Picture", "StatePicture", "Button",
                        "StateButton", "Text", "StateText", "ADCText"};

QDomElement parse(QDomDocument &doc, const QString &children)
{
    const bool ok = doc.setContent(QStringLiteral("<component>") + children + QStringLiteral("</component>"));
    Q_ASSERT(ok);
    Q_UNUSED(ok)
    return doc.documentElement();
}

QString base64(const QString &text)
{
    return ItemRecord::encodeText(text);
}

} // namespace

class TestItemLoading : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void elementWithOnlyType_data();
    void elementWithOnlyType();
    void rangeCheck_data();
    void rangeCheck();
    void picturesResolveAndShowTheActiveOne();
    void textKindsClampAtFirstRefresh_data();
    void textKindsClampAtFirstRefresh();

    void roundTrip_data();
    void roundTrip();

private:
    QGraphicsScene *scene = nullptr;
    Item *load(const QString &kind, const QString &children);
};

void TestItemLoading::initTestCase()
{
    writeProjectPicture(QStringLiteral("lamp.png"), 100, 100, Qt::yellow);
    writeProjectPicture(QStringLiteral("lamp_off.png"), 50, 50, Qt::gray);
    writeProjectPicture(QStringLiteral("common.png"), 50, 50, Qt::cyan, QStringLiteral("icons/"));
}

void TestItemLoading::init()
{
    scene = new QGraphicsScene(0, 0, 800, 600);
}

void TestItemLoading::cleanup()
{
    delete scene;
    scene = nullptr;
}

// An item made as the page's factory makes it: at (10, 10) on the scene, then loaded.
Item *TestItemLoading::load(const QString &kind, const QString &children)
{
    Item *item = makeKind(kind).release();
    item->SetPos(10, 10);
    scene->addItem(item);
    item->refreshProperties();
    QDomDocument doc;
    item->loadFromXml(parse(doc, children));
    return item;
}

void TestItemLoading::elementWithOnlyType_data()
{
    QTest::addColumn<QString>("kind");
    for (const QString &kind : kinds)
        QTest::newRow(qPrintable(kind)) << kind;
}

void TestItemLoading::elementWithOnlyType()
{
    QFETCH(QString, kind);
    Item *item = load(kind, QStringLiteral("<type>%1</type>").arg(kind));
    // The kind's defaults are not kept: the element's (missing) values win.
    ItemRecord expected;
    expected.fontSize = 0;
    expected.digits = 0;
    expected.color = 0;
    expected.imageActive = expected.imageInactive = expected.imageUnknown = QStringLiteral(":/images/noicon");
    QCOMPARE(item->record().toString(), expected.toString());
    QCOMPARE(item->record(), expected);
    QCOMPARE(item->pos(), QPointF(0, 0));
    if (kind == QLatin1String("ADCText")) {
        // Its placeholder is rendered even without a record: no decimals, smallest size.
        QCOMPARE(item->text(), QStringLiteral("???"));
        QCOMPARE(item->textPixelSize(), 5);
    } else {
        // Text kinds with an empty text keep the picture the load gave them.
        QCOMPARE(item->boundingRect(), QRectF(0, 0, 1, 1));
        QCOMPARE(item->picture().cacheKey(), PictureCache::picture(QStringLiteral(":/images/noicon$1x1")).cacheKey());
    }
}

void TestItemLoading::rangeCheck_data()
{
    QTest::addColumn<QString>("geometry");
    QTest::addColumn<QPointF>("pos");
    QTest::addColumn<QSizeF>("size");
    QTest::addColumn<QString>("logLine");

    QTest::newRow("inside") << "<x>100</x><y>200</y><w>80</w><h>40</h>" << QPointF(100, 200) << QSizeF(80, 40) << "Pic Set";
    QTest::newRow("right edge exactly") << "<x>700</x><y>0</y><w>100</w><h>600</h>" << QPointF(700, 0) << QSizeF(100, 600) << "Pic Set";
    QTest::newRow("past the right edge keeps position and size")
            << "<x>700</x><y>20</y><w>200</w><h>40</h>" << QPointF(10, 10) << QSizeF(50, 50) << "Pic out of range!";
    QTest::newRow("past the bottom edge") << "<x>0</x><y>590</y><w>20</w><h>20</h>" << QPointF(10, 10) << QSizeF(50, 50) << "Pic out of range!";
    QTest::newRow("negative position passes") << "<x>-30</x><y>-5</y><w>20</w><h>20</h>" << QPointF(-30, -5) << QSizeF(20, 20) << "Pic Set";
    QTest::newRow("tiny size becomes 1") << "<x>5</x><y>5</y><w>0</w><h>-4</h>" << QPointF(5, 5) << QSizeF(1, 1) << "Pic Set";
    QTest::newRow("overflowing sum is out of range")
            << "<x>2147483647</x><y>0</y><w>2147483647</w><h>1</h>" << QPointF(10, 10) << QSizeF(50, 50) << "Pic out of range!";
}

void TestItemLoading::rangeCheck()
{
    QFETCH(QString, geometry);
    QFETCH(QPointF, pos);
    QFETCH(QSizeF, size);
    QFETCH(QString, logLine);

    LogCapture log;
    Item *item = load(QStringLiteral("Button"), geometry + QStringLiteral("<image_active>lamp.png</image_active>"));
    QCOMPARE(log.count(logLine), 1);
    QCOMPARE(item->pos(), pos);
    QCOMPARE(item->boundingRect().size(), size);
    // Whatever the geometry, the active picture is shown at the item's size.
    QCOMPARE(item->picture().size(), size.toSize());
}

void TestItemLoading::picturesResolveAndShowTheActiveOne()
{
    LogCapture log;
    Item *item = load(QStringLiteral("StateButton"),
                      QStringLiteral("<w>50</w><h>50</h><image_active>lamp.png</image_active>"
                                     "<image_inactive>common.png</image_inactive>"
                                     "<image_unknown>missing.png</image_unknown>"));
    const QString d = projectDirectory();
    QCOMPARE(item->record().imageActive, d + QStringLiteral("icons/project/lamp.png"));
    QCOMPARE(item->record().imageInactive, d + QStringLiteral("icons/common.png"));
    QCOMPARE(item->record().imageUnknown, QStringLiteral(":/images/noicon"));
    QCOMPARE(log.count(QStringLiteral("Project Item not found")), 1);
    QCOMPARE(item->picture().size(), QSize(50, 50));
    QCOMPARE(item->picture().toImage().pixelColor(10, 10), QColor(Qt::yellow));
    item->setValue(0.0);
    QCOMPARE(item->picture().toImage().pixelColor(10, 10), QColor(Qt::cyan));
}

void TestItemLoading::textKindsClampAtFirstRefresh_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("storedFont");
    QTest::addColumn<int>("storedDigits");
    QTest::addColumn<int>("fontSize");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<int>("digits");
    QTest::addColumn<QString>("text");

    QTest::newRow("Text 300") << "Text" << 300 << 2 << 100 << 100 << 2 << "Hallo";
    QTest::newRow("Text 0 stays 0, draws at 5") << "Text" << 0 << 2 << 0 << 5 << 2 << "Hallo";
    QTest::newRow("StateText 300") << "StateText" << 300 << 2 << 100 << 100 << 2 << "Hallo";
    QTest::newRow("StateText 3 stays 3") << "StateText" << 3 << 2 << 3 << 5 << 2 << "Hallo";
    QTest::newRow("ADCText 9 digits") << "ADCText" << 12 << 9 << 12 << 12 << 6 << "???.??????";
    QTest::newRow("ADCText 0 digits") << "ADCText" << 12 << 0 << 12 << 12 << 0 << "???";
    QTest::newRow("ADCText 3 digits") << "ADCText" << 12 << 3 << 12 << 12 << 3 << "???.???";
    QTest::newRow("ADCText -1 digits") << "ADCText" << 12 << -1 << 12 << 12 << 2 << "???.??";
    // Only the text kinds have a font size box.
    QTest::newRow("Picture keeps 300") << "Picture" << 300 << 9 << 300 << 10 << 9 << "";
}

void TestItemLoading::textKindsClampAtFirstRefresh()
{
    QFETCH(QString, kind);
    QFETCH(int, storedFont);
    QFETCH(int, storedDigits);
    QFETCH(int, fontSize);
    QFETCH(int, pixelSize);
    QFETCH(int, digits);
    QFETCH(QString, text);

    Item *item = load(kind, QStringLiteral("<font_size>%1</font_size><digits>%2</digits>"
                                           "<text_active>%3</text_active><text_color>16777215</text_color>")
                                    .arg(storedFont)
                                    .arg(storedDigits)
                                    .arg(base64(QStringLiteral("Hallo"))));
    QCOMPARE(item->record().fontSize, fontSize);
    QCOMPARE(item->record().digits, digits);
    QCOMPARE(item->textPixelSize(), pixelSize);
    QCOMPARE(item->text(), text);
}

void TestItemLoading::roundTrip_data()
{
    elementWithOnlyType_data();
}

void TestItemLoading::roundTrip()
{
    QFETCH(QString, kind);

    Item *original = makeKind(kind).release();
    scene->addItem(original);
    original->SetPos(123, 45);
    original->setSize(64, 32);
    ItemRecord f = original->record();
    const QString d = projectDirectory();
    f.imageActive = d + QStringLiteral("icons/project/lamp.png");
    f.imageInactive = d + QStringLiteral("icons/project/lamp_off.png");
    f.imageUnknown = d + QStringLiteral("icons/common.png");
    f.textActive = QString::fromUtf8("Licht \xc3\xa4n");
    f.textInactive = QStringLiteral("aus");
    f.textError = QStringLiteral("<&>");
    f.bold = true;
    f.italic = true;
    f.color = 0x12AB34;
    f.fontSize = 33;
    f.digits = 4;
    f.pageId = QStringLiteral("Z9Y8X7W6V5U4T3S2");
    f.port = QStringLiteral("ITM_Kueche_OUT3");
    original->setRecord(f);
    if (!kind.endsWith(QLatin1String("Text")))
        original->loadPicture(f.imageActive);

    QDomDocument doc;
    QDomElement element = doc.createElement(QStringLiteral("component"));
    doc.appendChild(element);
    QStringList files;
    original->saveToXml(doc, element, files);
    QCOMPARE(element.lastChildElement().text(), kind);

    QDomDocument reread;
    QVERIFY(reread.setContent(doc.toString()));
    Item *copy = makeKind(kind).release();
    scene->addItem(copy);
    copy->loadFromXml(reread.documentElement());

    QCOMPARE(copy->pos(), original->pos());
    if (!kind.endsWith(QLatin1String("Text")))
        QCOMPARE(copy->boundingRect(), original->boundingRect());
    QCOMPARE(copy->record(), f);
    QCOMPARE(copy->toolTip(), f.pageId);

    // The copy writes the same element again.
    QDomDocument again;
    QDomElement second = again.createElement(QStringLiteral("component"));
    again.appendChild(second);
    QStringList files2;
    copy->saveToXml(again, second, files2);
    if (kind.endsWith(QLatin1String("Text"))) {
        // Text items take the size of their rendering; compare the rest.
        for (const char *tag : {"w", "h"}) {
            second.removeChild(second.firstChildElement(QLatin1String(tag)));
            element.removeChild(element.firstChildElement(QLatin1String(tag)));
        }
    }
    QCOMPARE(again.toString(), doc.toString());
    QCOMPARE(files2, files);
}

QTEST_MAIN(TestItemLoading)
#include "tst_itemloading.moc"
