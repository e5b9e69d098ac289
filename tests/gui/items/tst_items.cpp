#include "gui/editors/propertyframes.h"
#include "gui/pictures/picturecache.h"
#include "tests/support/itemsupport.h"

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QImageReader>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

namespace {

const QStringList kinds{"PageChange",  "Picture", "StatePicture", "Button",
                        "StateButton", "Text",    "StateText",    "ADCText"};

QImage render(QGraphicsScene &scene)
{
    QImage image(scene.sceneRect().size().toSize(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    scene.render(&painter, QRectF(QPointF(0, 0), scene.sceneRect().size()), scene.sceneRect());
    return image;
}

} // namespace

// The item kinds: how they follow port values, what a press sends, how they
// load from and save to their element, and the pictures they share.
class TestItems : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void statePictures_data();
    void statePictures();
    void stateText_data();
    void stateText();

    void presses_data();
    void presses();

    void rangeCheck_data();
    void rangeCheck();
    void roundTrip_data();
    void roundTrip();

    void textRenderingsKeepToTheirBudget();
    void preloadScalesAsItemsDo_data();
    void preloadScalesAsItemsDo();
    void bytesDecodeAsTheirFile_data();
    void bytesDecodeAsTheirFile();

    void frameEditChangesItem_data();
    void frameEditChangesItem();
    void numberRules_data();
    void numberRules();

private:
    Item *load(const QString &kind, const QString &children);
    QGraphicsScene *m_scene = nullptr;
    ProjectFolder m_projects;
};

void TestItems::initTestCase()
{
    writeProjectPicture(QStringLiteral("on.png"), 50, 50, 0x00ff00);
    writeProjectPicture(QStringLiteral("off.png"), 50, 50, 0x808080);
    writeProjectPicture(QStringLiteral("unknown.png"), 50, 50, 0xff00ff);
    writeProjectPicture(QStringLiteral("lamp.png"), 100, 100, 0xffff00);
    writeProjectPicture(QStringLiteral("common.png"), 50, 50, 0x00ffff, QStringLiteral("icons/"));
}

void TestItems::init()
{
    m_scene = new QGraphicsScene(0, 0, 800, 600);
}

void TestItems::cleanup()
{
    delete m_scene;
    m_scene = nullptr;
}

// An item made as the page's factory makes it: at (10, 10) on the scene, then loaded.
Item *TestItems::load(const QString &kind, const QString &children)
{
    Item *item = makeKind(kind).release();
    item->SetPos(10, 10);
    m_scene->addItem(item);
    item->refreshProperties();
    QDomDocument doc;
    doc.setContent(QStringLiteral("<component>") + children + QStringLiteral("</component>"));
    item->loadFromXml(doc.documentElement());
    return item;
}

void TestItems::statePictures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QStringList>("shown");

    for (const char *kind : {"StateButton", "StatePicture"}) {
        const QString k = QString::fromLatin1(kind);
        QTest::newRow(qPrintable(k + " positive, negative and NaN are active"))
            << k << QList<double>{5.0, 0.0, -3.0, 0.0, qQNaN()} << QStringList{"on", "off", "on", "off", "on"};
        QTest::newRow(qPrintable(k + " -0 is 0")) << k << QList<double>{1.0, -0.0} << QStringList{"on", "off"};
    }
}

void TestItems::statePictures()
{
    QFETCH(QString, kind);
    QFETCH(QList<double>, values);
    QFETCH(QStringList, shown);

    std::unique_ptr<Item> item = makeKind(kind);
    editRecord(item.get(), [&](ItemRecord &r) {
        r.imageActive = QStringLiteral("on.png");
        r.imageInactive = QStringLiteral("off.png");
        r.imageUnknown = QStringLiteral("unknown.png");
    });
    const QString dir = projectDirectory() + QStringLiteral("/icons/project/");
    for (int i = 0; i < values.size(); ++i) {
        item->setValue(values.at(i));
        QCOMPARE(item->picture().cacheKey(), PictureCache::picture(dir + shown.at(i) + ".png").cacheKey());
    }
}

void TestItems::stateText_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("renderings");

    QTest::newRow("3 after 7 does not render again") << QList<double>{7.0, 3.0} << QStringList{"AN", "AN"} << 1;
    QTest::newRow("NaN and negative are active")
        << QList<double>{0.0, qQNaN(), 0.0, -1.0} << QStringList{"AUS", "AN", "AUS", "AN"} << 4;
}

void TestItems::stateText()
{
    QFETCH(QList<double>, values);
    QFETCH(QStringList, texts);
    QFETCH(int, renderings);

    ItemStateText item(nullptr, nullptr);
    editRecord(&item, [&](ItemRecord &r) {
        r.textActive = QStringLiteral("AN");
        r.textInactive = QStringLiteral("AUS");
    });
    QSignalSpy moved(&item, &Item::itemMoved);
    for (int i = 0; i < values.size(); ++i) {
        item.setValue(values.at(i));
        QCOMPARE(item.text(), texts.at(i));
    }
    QCOMPARE(moved.count(), renderings);
}

void TestItems::presses_data()
{
    QTest::addColumn<bool>("onRelease"); // -touch
    QTest::addColumn<bool>("touch");     // a finger, else the mouse
    // "d X,Y" down, "m X,Y" a move, "u X,Y" the lift, in scene coordinates.
    QTest::addColumn<QString>("gesture");
    // What the items sent before the lift, which were lit just before it,
    // and what they sent in all: A above B, C beside them; c is C's page,
    // sent after its port.
    QTest::addColumn<QString>("outcome");

    // In the running panel a press reaches every item under it, not only the top one.
    const auto row = [](const char *name, bool onRelease, bool touch, const char *gesture, const char *outcome) {
        QTest::newRow(name) << onRelease << touch << QString(gesture) << QString(outcome);
    };
    row("mouse: on the press, every item under it", false, false, "d 10,10 u 10,10", "AB||AB");
    row("mouse: the port, then the page", false, false, "d 80,10 u 80,10", "Cc||Cc");
    row("finger: on touch-down, even sliding off", false, true, "d 10,10 m 150,150 u 150,150", "AB||AB");
    row("-touch, finger: on the lift, lit till then", true, true, "d 10,10 m 12,14 u 12,14", "|AB|AB");
    row("-touch, mouse too", true, false, "d 80,10 u 80,10", "|C|Cc");
    row("-touch: slid off, nothing", true, true, "d 10,10 m 150,150 u 150,150", "||");
    row("-touch: off and back, nothing", true, true, "d 10,10 m 150,150 m 10,10 u 10,10", "||");
    row("-touch: slid off the upper item only", true, true, "d 30,10 m 50,10 u 50,10", "|B|B");
}

// Items A (40 x 40) above B (60 x 60) at the top left, C beside them, all
// locked as the panel runs them.
void TestItems::presses()
{
    QFETCH(bool, onRelease);
    QFETCH(bool, touch);
    QFETCH(QString, gesture);
    QFETCH(QString, outcome);

    Item::setPressOnRelease(onRelease);
    QString emitted;
    QList<Item *> items;
    for (const QString name : {"A", "B", "C"}) {
        Item *item = makeKind(name == "A" ? "StateButton" : "Button").release();
        item->setSize(name == "A" ? 40 : 60, name == "A" ? 40 : 60);
        item->SetPos(name == "C" ? 55 : 0, 0);
        item->setZValue(name == "A");
        m_scene->addItem(item);
        editRecord(item, [&](ItemRecord &r) {
            r.port = "ITM_" + name + "_OUT1";
            r.pageId = name == "C" ? "ABC123" : "";
        });
        for (auto flag : {QGraphicsItem::ItemIsMovable, QGraphicsItem::ItemIsSelectable})
            item->setFlag(flag, false);
        connect(item, &Item::changePort, this,
                [&emitted, name](const QString &key) { emitted += key == "PAGE_ABC123" ? name.toLower() : name; });
        items << item;
    }
    QGraphicsView view(m_scene);
    view.setSceneRect(0, 0, 200, 200); // touches land where the window shows them
    view.setGeometry(0, 0, 220, 220);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    static auto *const device = QTest::createTouchDevice(); // one for the run: Qt keeps each one made
    QString seen;
    for (const QString &step : gesture.split(QRegularExpression(" (?=[dmu] )"))) {
        const QPoint at =
            view.mapFromScene(QPointF(step.section(' ', 1).section(',', 0, 0).toInt(), step.section(',', 1).toInt()));
        const QChar kind = step.at(0);
        if (kind == 'u') {
            seen = emitted + '|';
            for (int i = 0; i < items.size(); ++i)
                seen += items.at(i)->isPressed() ? QString("ABC").mid(i, 1) : QString();
        }
        QWidget *viewport = view.viewport();
        if (touch) {
            auto sequence = QTest::touchEvent(viewport, device);
            kind == 'd'       ? sequence.press(0, at, viewport)
                : kind == 'm' ? sequence.move(0, at, viewport)
                              : sequence.release(0, at, viewport);
        } else if (kind != 'm') {
            kind == 'd' ? QTest::mousePress(viewport, Qt::LeftButton, {}, at)
                        : QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
        }
    }
    QCOMPARE(seen + '|' + emitted, outcome);
    for (const Item *item : items)
        QVERIFY(!item->isPressed());
    Item::setPressOnRelease(false);
}

void TestItems::rangeCheck_data()
{
    QTest::addColumn<QString>("geometry");
    QTest::addColumn<QPointF>("pos");
    QTest::addColumn<QSizeF>("size");

    QTest::newRow("inside") << "<x>100</x><y>200</y><w>80</w><h>40</h>" << QPointF(100, 200) << QSizeF(80, 40);
    QTest::newRow("past the right edge keeps position and size")
        << "<x>700</x><y>20</y><w>200</w><h>40</h>" << QPointF(10, 10) << QSizeF(50, 50);
    QTest::newRow("past the bottom edge")
        << "<x>0</x><y>590</y><w>20</w><h>20</h>" << QPointF(10, 10) << QSizeF(50, 50);
    QTest::newRow("overflowing sum is out of range")
        << "<x>2147483647</x><y>0</y><w>2147483647</w><h>1</h>" << QPointF(10, 10) << QSizeF(50, 50);
}

void TestItems::rangeCheck()
{
    QFETCH(QString, geometry);
    QFETCH(QPointF, pos);
    QFETCH(QSizeF, size);

    Item *item = load(QStringLiteral("Button"), geometry + QStringLiteral("<image_active>lamp.png</image_active>"));
    QCOMPARE(item->pos(), pos);
    QCOMPARE(item->boundingRect().size(), size);
    QCOMPARE(item->picture().size(), size.toSize());
}

void TestItems::roundTrip_data()
{
    QTest::addColumn<QString>("kind");
    for (const QString &kind : kinds)
        QTest::newRow(qPrintable(kind)) << kind;
}

void TestItems::roundTrip()
{
    QFETCH(QString, kind);

    Item *original = makeKind(kind).release();
    m_scene->addItem(original);
    original->SetPos(123, 45);
    original->setSize(64, 32);
    ItemRecord f = original->record();
    const QString d = projectDirectory();
    f.imageActive = d + QStringLiteral("icons/project/lamp.png");
    f.imageInactive = d + QStringLiteral("icons/project/off.png");
    f.imageUnknown = d + QStringLiteral("icons/common.png");
    f.textActive = QString::fromUtf8("Licht \xc3\xa4n");
    f.textInactive = QStringLiteral("aus");
    f.textError = QStringLiteral("<&>");
    f.bold = f.italic = true;
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
    m_scene->addItem(copy);
    copy->loadFromXml(reread.documentElement());
    QCOMPARE(copy->pos(), original->pos());
    if (!kind.endsWith(QLatin1String("Text")))
        QCOMPARE(copy->boundingRect(), original->boundingRect());
    QCOMPARE(copy->record(), f);
}

void TestItems::preloadScalesAsItemsDo_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("translucent") << int(QImage::Format_ARGB32);
    QTest::newRow("opaque") << int(QImage::Format_RGB32);
    QTest::newRow("palette") << int(QImage::Format_Indexed8);
    QTest::newRow("grey") << int(QImage::Format_Grayscale8);
}

// Half the copies are scaled off the GUI thread, from images; each must be
// what the item's own QPixmap::scaled() makes, pixel for pixel.
void TestItems::preloadScalesAsItemsDo()
{
    QFETCH(int, format);
    QImage image(37, 23, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgba(x * 7, y * 11, (x * y) % 256, (x + y) * 5 % 256));
    }
    const QString path = projectDirectory() + QStringLiteral("icons/project/scaled-%1.png").arg(format);
    QVERIFY(image.convertToFormat(QImage::Format(format)).save(path));

    const QList<QSize> sizes{{64, 48}, {5, 90}, {36, 23}, {1, 1}, {37, 23}, {300, 7}};
    QVector<PictureCache::Scaled> wanted;
    for (const QSize &size : sizes)
        wanted.append({path, Item::scaledKey(path, size.width(), size.height()), size});
    PictureCache::preload({path}, wanted);
    const QPixmap picture = PictureCache::picture(path);
    for (const QSize &size : sizes) {
        QPixmap copy;
        const bool made = PictureCache::find(Item::scaledKey(path, size.width(), size.height()), &copy);
        // A copy the size of the picture is the picture, shared by the item.
        QCOMPARE(made, size != picture.size());
        if (made) {
            const QImage expected = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).toImage();
            QCOMPARE(copy.toImage(), expected);
        }
    }
}

void TestItems::bytesDecodeAsTheirFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format"); // what the bytes are
    QTest::addColumn<bool>("fromBytes");    // whether they may be decoded from memory
    QTest::newRow("PNG") << "a.png" << QByteArray("PNG") << true;
    QTest::newRow("JPEG") << "a.jpg" << QByteArray("JPEG") << true;
    QTest::newRow("BMP") << "a.bmp" << QByteArray("BMP") << true;
    QTest::newRow("upper-case suffix") << "a.PNG" << QByteArray("PNG") << true;
    // Read by name, it is read at a pixel ratio of 2.
    QTest::newRow("@2x") << "a@2x.png" << QByteArray("PNG") << false;
    // The file's reader tries the suffix's handler first.
    QTest::newRow("PNG named JPEG") << "png.jpg" << QByteArray("PNG") << false;
    QTest::newRow("no suffix") << "a" << QByteArray("PNG") << false;
    QTest::newRow("not a picture") << "text.png" << QByteArray() << false;
}

// While a load writes the picture files, the first page's pictures are
// decoded from the package's bytes where that reads exactly what the file
// does; anything else waits for its file.
void TestItems::bytesDecodeAsTheirFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(bool, fromBytes);
    QImage image(9, 7, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgba(x * 29, y * 37, 200, 255));
    }
    const QByteArray bytes = format.isEmpty() ? QByteArray("not a picture") : imageBytes(image, format.constData());
    const QString path = projectDirectory() + QStringLiteral("icons/project/") + name;
    QVERIFY(writeFile(path, bytes));

    const QImage fromFile = QImageReader(path).read();
    const QImage decoded = QImage::fromData(bytes);
    const bool alike = decoded == fromFile && decoded.format() == fromFile.format()
        && decoded.devicePixelRatio() == fromFile.devicePixelRatio();
    QFile::remove(path);
    const bool decision = PictureCache::decodesFromBytes(path, bytes);
    QVERIFY2(!decision || (alike && !fromFile.isNull()), "decoded from memory, but not as its file");
    QCOMPARE(decision, fromBytes);
}

void TestItems::textRenderingsKeepToTheirBudget()
{
    const auto rendering = [](int i) {
        QPixmap picture(20, 10);
        picture.fill(QColor::fromHsv(i * 30, 255, 255));
        return picture;
    };
    const auto key = [](int i) { return PictureCache::textPrefix() + QStringLiteral("10_%1").arg(i); };
    const QString file = writeProjectPicture(QStringLiteral("budget.png"), 20, 10, 0xff0000);
    PictureCache::picture(file);

    // Equal renderings cost alike: room for three.
    PictureCache::setTextBudget(0);
    PictureCache::setTextBudget(PictureCache::defaultTextBudget);
    PictureCache::insert(rendering(0), key(0));
    const qint64 one = PictureCache::textBytes();
    QVERIFY(one >= 20 * 10 * 4);
    PictureCache::setTextBudget(3 * one + one / 2);

    const QPixmap held = PictureCache::picture(key(0)); // as an item holds it
    PictureCache::insert(rendering(1), key(1));
    PictureCache::insert(rendering(2), key(2));
    QVERIFY(PictureCache::find(key(0), nullptr)); // used: now the most recent
    PictureCache::insert(rendering(3), key(3));
    QVERIFY(!PictureCache::contains(key(1)));
    for (int i : {0, 2, 3})
        QVERIFY2(PictureCache::contains(key(i)), qPrintable(key(i)));
    QCOMPARE(PictureCache::textBytes(), 3 * one);

    // Lowering the budget drops renderings at once; a holder keeps its
    // pixels, and pictures of files are not texts.
    PictureCache::setTextBudget(one);
    QVERIFY(!PictureCache::contains(key(0)));
    QCOMPARE(held.toImage().pixelColor(5, 5), rendering(0).toImage().pixelColor(5, 5));
    QVERIFY(PictureCache::contains(file));

    // An item keeps drawing a rendering the cache let go of.
    ItemText item(nullptr, nullptr);
    m_scene->addItem(&item);
    item.createText(QStringLiteral("MMMM"), true, false, 60, 0xFF0000);
    PictureCache::setTextBudget(0);
    PictureCache::setTextBudget(PictureCache::defaultTextBudget);
    const QImage image = render(*m_scene);
    m_scene->removeItem(&item);
    int red = 0;
    for (int y = 0; y < item.height(); ++y)
        for (int x = 0; x < item.width(); ++x)
            red += image.pixelColor(x, y) == QColor(Qt::red) ? 1 : 0;
    QVERIFY2(red > 100, qPrintable(QString::number(red)));
}

// An edit in an item's property frame shows on the item at once.
void TestItems::frameEditChangesItem_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("shown");

    const auto row = [](const char *name, const QString &kind, const QString &widget, const QString &input,
                        const QString &shown) { QTest::newRow(name) << kind << widget << input << shown; };
    row("x", "Button", "lineEditX", "120", "120");
    row("text", "Text", "lineEditText", "Hallo", "Hallo");
    row("digits", "AnalogText", "spinBoxDigits", "3", "???.???");
}

void TestItems::frameEditChangesItem()
{
    QFETCH(QString, kind);
    QFETCH(QString, widget);
    QFETCH(QString, input);
    QFETCH(QString, shown);

    registerPropertyFrames();
    Item *item = load(kind, QStringLiteral("<image_active>lamp.png</image_active><text>Alt</text>"));
    QWidget *frame = item->showProperties();
    QVERIFY(frame);
    if (auto *spin = frame->findChild<QSpinBox *>(widget)) {
        spin->setValue(input.toInt());
    } else {
        auto *edit = frame->findChild<QLineEdit *>(widget);
        QVERIFY(edit);
        edit->selectAll();
        QTest::keyClicks(edit, input);
    }
    const QMap<QString, QString> now{{"lineEditX", QString::number(item->pos().x())},
                                     {"lineEditWidth", QString::number(item->boundingRect().width())},
                                     {"lineEditText", item->record().textActive},
                                     {"spinBoxDigits", item->text()}};
    QCOMPARE(now.value(widget), shown);
}

// The analogue text's numbers: decimals bounded to 0..6, font size to 100.
void TestItems::numberRules_data()
{
    QTest::addColumn<int>("digits");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("two") << 2 << 21.456 << "21.46";
    QTest::newRow("none") << 0 << 21.4 << "21";
    QTest::newRow("bound at six") << 9 << 1.5 << "1.500000";
    QTest::newRow("negative as none") << -2 << 3.7 << "4";
    QTest::newRow("negative value") << 1 << -0.04 << "-0.0";
}

void TestItems::numberRules()
{
    QFETCH(int, digits);
    QFETCH(double, value);
    QFETCH(QString, text);

    Item *item = load(QStringLiteral("AnalogText"),
                      QStringLiteral("<digits>%1</digits><font_size>250</font_size>").arg(qMax(digits, 0)));
    QCOMPARE(item->record().fontSize, ItemRecord::fontSizeMaximum);
    QCOMPARE(item->text(), QStringLiteral("???") + (digits > 0 ? "." + QString(qMin(digits, 6), '?') : ""));
    editRecord(item, [&](ItemRecord &r) { r.digits = digits; });
    item->setValue(value);
    QCOMPARE(item->text(), text);
}

QTEST_MAIN(TestItems)
#include "tst_items.moc"
