#include "editors/frameupdater.h"
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
    return QStringLiteral("BASE64_") + QString::fromLatin1(text.toUtf8().toBase64());
}

} // namespace

class TestFrameUpdater : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void elementWithOnlyType_data();
    void elementWithOnlyType();
    void texts_data();
    void texts();
    void numbers_data();
    void numbers();
    void flags_data();
    void flags();
    void rangeCheck_data();
    void rangeCheck();
    void picturesResolveAndShowTheActiveOne();
    void textKindsClampAtFirstRefresh_data();
    void textKindsClampAtFirstRefresh();

    void savedExampleElement();
    void fileListHoldsEachProjectFileOnce();
    void roundTrip_data();
    void roundTrip();

private:
    QGraphicsScene *scene = nullptr;
    Item *load(const QString &kind, const QString &children);
};

void TestFrameUpdater::initTestCase()
{
    writeProjectPicture(QStringLiteral("lamp.png"), 100, 100, Qt::yellow);
    writeProjectPicture(QStringLiteral("lamp_off.png"), 50, 50, Qt::gray);
    writeProjectPicture(QStringLiteral("common.png"), 50, 50, Qt::cyan, QStringLiteral("icons/"));
}

void TestFrameUpdater::init()
{
    scene = new QGraphicsScene(0, 0, 800, 600);
}

void TestFrameUpdater::cleanup()
{
    delete scene;
    scene = nullptr;
}

// An item made as the page's factory makes it: at (10, 10) on the scene, then loaded.
Item *TestFrameUpdater::load(const QString &kind, const QString &children)
{
    Item *item = makeKind(kind).release();
    item->SetPos(10, 10);
    scene->addItem(item);
    item->refreshProperties();
    QDomDocument doc;
    item->loadFromXml(parse(doc, children));
    return item;
}

void TestFrameUpdater::elementWithOnlyType_data()
{
    QTest::addColumn<QString>("kind");
    for (const QString &kind : kinds)
        QTest::newRow(qPrintable(kind)) << kind;
}

void TestFrameUpdater::elementWithOnlyType()
{
    QFETCH(QString, kind);
    Item *item = load(kind, QStringLiteral("<type>%1</type>").arg(kind));
    FrameUpdater *f = item->frame;
    QCOMPARE(f->textActive, QString());
    QCOMPARE(f->textInactive, QString());
    QCOMPARE(f->textError, QString());
    QCOMPARE(f->fontSize, 0);
    QCOMPARE(f->digits, 0);
    QCOMPARE(f->color, 0);
    QCOMPARE(f->port, QString());
    QCOMPARE(f->pageId, QString());
    QCOMPARE(f->bold, false);
    QCOMPARE(f->italic, false);
    for (const QString &image : {f->imageActive, f->imageInactive, f->imageUnknown})
        QCOMPARE(image, QStringLiteral(":/images/noicon"));
    QCOMPARE(item->pos(), QPointF(0, 0));
    if (kind == QLatin1String("ADCText")) {
        // Its placeholder is rendered even without a record: no decimals, smallest size.
        QCOMPARE(item->text, QStringLiteral("???"));
        QCOMPARE(item->textPixelSize, 5);
    } else {
        // Text kinds with an empty text keep the picture the load gave them.
        QCOMPARE(item->boundingRect(), QRectF(0, 0, 1, 1));
        QCOMPARE(item->picture, PictureCache::picture(QStringLiteral(":/images/noicon$1x1")));
    }
}

void TestFrameUpdater::texts_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("text");

    const QString umlauts = QString::fromUtf8("K\xc3\xbc" "che \xe2\x82\xac");
    QTest::newRow("base64") << base64(QStringLiteral("Hallo")) << "Hallo";
    QTest::newRow("base64 utf-8") << base64(umlauts) << umlauts;
    QTest::newRow("plain text unchanged") << umlauts << umlauts;
    QTest::newRow("prefix alone is empty") << "BASE64_" << "";
    QTest::newRow("prefix is case-sensitive") << "base64_SGFsbG8=" << "base64_SGFsbG8=";
    QTest::newRow("junk characters skipped") << "BASE64_SGF*sbG8=" << "Hallo";
    QTest::newRow("stops at a zero byte") << "BASE64_" + QString::fromLatin1(QByteArray("ab\0cd", 5).toBase64()) << "ab";
    QTest::newRow("not trimmed") << "  x " << "  x ";
}

void TestFrameUpdater::texts()
{
    QFETCH(QString, stored);
    QFETCH(QString, text);

    QString children;
    for (const char *tag : {"text_active", "text_inactive", "text_error"})
        children += QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), stored.toHtmlEscaped());
    Item *item = load(QStringLiteral("StateText"), children);
    QCOMPARE(item->frame->textActive, text);
    QCOMPARE(item->frame->textInactive, text);
    QCOMPARE(item->frame->textError, text);

    // Written back always in the encoded form.
    QDomDocument out;
    QDomElement saved = out.createElement(QStringLiteral("item"));
    QStringList files;
    item->saveToXml(out, saved, files);
    QCOMPARE(saved.firstChildElement(QStringLiteral("text_active")).text(), base64(text));
}

void TestFrameUpdater::numbers_data()
{
    QTest::addColumn<QString>("children");
    QTest::addColumn<int>("fontSize");
    QTest::addColumn<int>("digits");
    QTest::addColumn<int>("color");

    QTest::newRow("plain") << "<font_size>14</font_size><digits>3</digits><text_color>255</text_color>" << 14 << 3 << 255;
    QTest::newRow("white") << "<font_size>12</font_size><digits>2</digits><text_color>16777215</text_color>" << 12 << 2 << 0xFFFFFF;
    QTest::newRow("digits -1 becomes 2") << "<digits>-1</digits>" << 0 << 2 << 0;
    QTest::newRow("spaces and sign") << "<font_size> +15 </font_size><digits>\n4\n</digits>" << 15 << 4 << 0;
    QTest::newRow("not numbers") << "<font_size>12px</font_size><digits>zwei</digits><text_color>0xFF</text_color>" << 0 << 0 << 0;
    QTest::newRow("too large for int") << "<text_color>99999999999</text_color>" << 0 << 0 << 0;
}

void TestFrameUpdater::numbers()
{
    QFETCH(QString, children);
    QFETCH(int, fontSize);
    QFETCH(int, digits);
    QFETCH(int, color);

    Item *item = load(QStringLiteral("Picture"), children);
    QCOMPARE(item->frame->fontSize, fontSize);
    QCOMPARE(item->frame->digits, digits);
    QCOMPARE(item->frame->color, color);
}

void TestFrameUpdater::flags_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("set");

    QTest::newRow("1") << "1" << true;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("true is not 1") << "true" << false;
    QTest::newRow(" 1 is not 1") << " 1" << false;
    QTest::newRow("empty") << "" << false;
}

void TestFrameUpdater::flags()
{
    QFETCH(QString, stored);
    QFETCH(bool, set);

    Item *item = load(QStringLiteral("Picture"),
                      QStringLiteral("<text_bold>%1</text_bold><text_italic>%1</text_italic>").arg(stored));
    QCOMPARE(item->frame->bold, set);
    QCOMPARE(item->frame->italic, set);
}

void TestFrameUpdater::rangeCheck_data()
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

void TestFrameUpdater::rangeCheck()
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
    QCOMPARE(item->picture->size(), size.toSize());
}

void TestFrameUpdater::picturesResolveAndShowTheActiveOne()
{
    LogCapture log;
    Item *item = load(QStringLiteral("StateButton"),
                      QStringLiteral("<w>50</w><h>50</h><image_active>lamp.png</image_active>"
                                     "<image_inactive>common.png</image_inactive>"
                                     "<image_unknown>missing.png</image_unknown>"));
    const QString d = projectDirectory();
    QCOMPARE(item->frame->imageActive, d + QStringLiteral("icons/project/lamp.png"));
    QCOMPARE(item->frame->imageInactive, d + QStringLiteral("icons/common.png"));
    QCOMPARE(item->frame->imageUnknown, QStringLiteral(":/images/noicon"));
    QCOMPARE(log.count(QStringLiteral("Project Item not found")), 1);
    QCOMPARE(item->picture->size(), QSize(50, 50));
    QCOMPARE(item->picture->toImage().pixelColor(10, 10), QColor(Qt::yellow));
    item->setValue(0.0);
    QCOMPARE(item->picture->toImage().pixelColor(10, 10), QColor(Qt::cyan));
}

void TestFrameUpdater::textKindsClampAtFirstRefresh_data()
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

void TestFrameUpdater::textKindsClampAtFirstRefresh()
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
    QCOMPARE(item->frame->fontSize, fontSize);
    QCOMPARE(item->frame->digits, digits);
    QCOMPARE(item->textPixelSize, pixelSize);
    QCOMPARE(item->text, text);
}

void TestFrameUpdater::savedExampleElement()
{
    auto *item = new ItemPicture(nullptr, nullptr);
    scene->addItem(item);
    item->SetPos(10, 20);
    item->frame->imageActive = projectDirectory() + QStringLiteral("icons/project/lamp.png");
    QDomDocument doc;
    QDomElement element = doc.createElement(QStringLiteral("component"));
    doc.appendChild(element);
    QStringList files;
    item->saveToXml(doc, element, files);
    QCOMPARE(doc.toString(-1),
             QStringLiteral("<component><x>10</x><y>20</y><w>50</w><h>50</h>"
                            "<image_active>lamp.png</image_active><image_inactive/>"
                            "<image_unknown/><text_active>BASE64_</text_active>"
                            "<text_inactive>BASE64_</text_inactive><text_error>BASE64_</text_error>"
                            "<text_bold>0</text_bold><text_italic>0</text_italic>"
                            "<text_color>16777215</text_color><font_size>12</font_size><digits>2</digits>"
                            "<page_id/><port></port><type>Picture</type></component>"));
    QCOMPARE(files, QStringList{QStringLiteral("icons/project/lamp.png")});
}

void TestFrameUpdater::fileListHoldsEachProjectFileOnce()
{
    auto *item = new ItemStateButton(nullptr, nullptr);
    scene->addItem(item);
    const QString d = projectDirectory();
    item->frame->imageActive = d + QStringLiteral("icons/project/lamp.png");
    item->frame->imageInactive = d + QStringLiteral("icons/project/lamp.png");
    item->frame->imageUnknown = QStringLiteral(":/images/noicon");
    QStringList files{QStringLiteral("icons/project/other.png")};
    QDomDocument doc;
    QDomElement element = doc.createElement(QStringLiteral("component"));
    item->saveToXml(doc, element, files);
    QCOMPARE(files, QStringList({"icons/project/other.png", "icons/project/lamp.png"}));
    item->saveToXml(doc, element, files);
    QCOMPARE(files.size(), 2);
}

void TestFrameUpdater::roundTrip_data()
{
    elementWithOnlyType_data();
}

void TestFrameUpdater::roundTrip()
{
    QFETCH(QString, kind);

    Item *original = makeKind(kind).release();
    scene->addItem(original);
    original->SetPos(123, 45);
    original->setSize(64, 32);
    FrameUpdater *f = original->frame;
    const QString d = projectDirectory();
    f->imageActive = d + QStringLiteral("icons/project/lamp.png");
    f->imageInactive = d + QStringLiteral("icons/project/lamp_off.png");
    f->imageUnknown = d + QStringLiteral("icons/common.png");
    f->textActive = QString::fromUtf8("Licht \xc3\xa4n");
    f->textInactive = QStringLiteral("aus");
    f->textError = QStringLiteral("<&>");
    f->bold = true;
    f->italic = true;
    f->color = 0x12AB34;
    f->fontSize = 33;
    f->digits = 4;
    f->pageId = QStringLiteral("Z9Y8X7W6V5U4T3S2");
    f->port = QStringLiteral("ITM_Kueche_OUT3");
    if (!kind.endsWith(QLatin1String("Text")))
        original->loadPicture(f->imageActive);

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

    FrameUpdater *g = copy->frame;
    QCOMPARE(copy->pos(), original->pos());
    if (!kind.endsWith(QLatin1String("Text")))
        QCOMPARE(copy->boundingRect(), original->boundingRect());
    QCOMPARE(g->imageActive, f->imageActive);
    QCOMPARE(g->imageInactive, f->imageInactive);
    QCOMPARE(g->imageUnknown, f->imageUnknown);
    QCOMPARE(g->textActive, f->textActive);
    QCOMPARE(g->textInactive, f->textInactive);
    QCOMPARE(g->textError, f->textError);
    QCOMPARE(g->bold, f->bold);
    QCOMPARE(g->italic, f->italic);
    QCOMPARE(g->color, f->color);
    QCOMPARE(g->fontSize, f->fontSize);
    QCOMPARE(g->digits, f->digits);
    QCOMPARE(g->pageId, f->pageId);
    QCOMPARE(g->port, f->port);
    QCOMPARE(copy->toolTip(), f->pageId);

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

QTEST_MAIN(TestFrameUpdater)
#include "tst_frameupdater.moc"
