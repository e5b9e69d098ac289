#include "editors/propertyframes.h"
#include "items/item.h"
#include "items/itempicture.h"
#include "storage/picturecache.h"
#include "tests/items/testhelper.h"

#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

// The base class, as the kinds build on it.
class PlainItem : public Item
{
public:
    PlainItem()
        : Item(nullptr, nullptr)
    {
    }
    using Item::setPicture;
};

class TestItem : public QObject
{
    Q_OBJECT

private slots:
    void sizeIsAtLeastOne_data();
    void sizeIsAtLeastOne();

    void pictureIsScaledAndSharedBySize();
    void pictureOfItsOwnSizeIsNotCopied();
    void cachedScaledPictureSkipsTheDisk();
    void pictureUnderItsScaledName_data();
    void pictureUnderItsScaledName();

    void textIsRenderedOnceAndSizesTheItem();
    void textPixelSizeAtLeastFive_data();
    void textPixelSizeAtLeastFive();
    void emptyTextChangesNothing();
    void textColourReachesThePixels_data();
    void textColourReachesThePixels();
    void renderingsDifferingInStyleAreDifferentPictures_data();
    void renderingsDifferingInStyleAreDifferentPictures();

    void pressEmitsPortThenPage_data();
    void pressEmitsPortThenPage();
    void fixedItemsLetPressesThrough();
    void draggingAnnouncesAndRefreshes();
    void doubleClickOnlyLogs();
    void paintStretchesThePicture();
    void evictedTextStillPaints();
};

void TestItem::sizeIsAtLeastOne_data()
{
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<QRectF>("bounds");

    QTest::newRow("zero and negative") << 0 << -5 << QRectF(0, 0, 1, 1);
    QTest::newRow("ordinary") << 120 << 30 << QRectF(0, 0, 120, 30);
    QTest::newRow("one") << 1 << 1 << QRectF(0, 0, 1, 1);
}

void TestItem::sizeIsAtLeastOne()
{
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(QRectF, bounds);

    PlainItem item;
    QSignalSpy moved(&item, &Item::itemMoved);
    item.setSize(w, h);
    QCOMPARE(item.boundingRect(), bounds);
    QCOMPARE(moved.count(), 1);
}

void TestItem::pictureIsScaledAndSharedBySize()
{
    writeProjectPicture(QStringLiteral("big.png"), 100, 100, Qt::red);
    PlainItem a;
    PlainItem b;
    PlainItem c;
    c.setSize(20, 30);
    a.loadPicture(QStringLiteral("big.png"));
    b.loadPicture(QStringLiteral("big.png"));
    c.loadPicture(QStringLiteral("big.png"));

    QCOMPARE(a.picture().size(), QSize(50, 50));
    QCOMPARE(a.picture().cacheKey(), b.picture().cacheKey());
    QCOMPARE(a.picture().cacheKey(), PictureCache::picture(QStringLiteral("big.png$50x50")).cacheKey());
    QCOMPARE(c.picture().size(), QSize(20, 30));
    QCOMPARE(c.picture().cacheKey(), PictureCache::picture(QStringLiteral("big.png$20x30")).cacheKey());
    QCOMPARE(a.picture().toImage().pixelColor(25, 25), QColor(Qt::red));
    // The unscaled picture came through the project path as the item asked for it.
    QVERIFY(PictureCache::contains(projectDirectory() + QStringLiteral("/icons/project/big.png")));
}

void TestItem::pictureOfItsOwnSizeIsNotCopied()
{
    writeProjectPicture(QStringLiteral("exact.png"), 50, 50, Qt::blue);
    PlainItem item;
    item.loadPicture(QStringLiteral("exact.png"));
    const qint64 decoded =
        PictureCache::picture(projectDirectory() + QStringLiteral("/icons/project/exact.png")).cacheKey();
    QCOMPARE(item.picture().cacheKey(), decoded);
    // Filed under its scaled name as well, as the same shared pixels.
    QCOMPARE(PictureCache::picture(QStringLiteral("exact.png$50x50")).cacheKey(), decoded);
}

void TestItem::cachedScaledPictureSkipsTheDisk()
{
    const QString path = writeProjectPicture(QStringLiteral("gone.png"), 10, 10, Qt::green);
    PlainItem first;
    first.loadPicture(QStringLiteral("gone.png"));
    QVERIFY(QFile::remove(path));

    PlainItem second;
    second.loadPicture(QStringLiteral("gone.png"));
    QCOMPARE(second.picture().cacheKey(), first.picture().cacheKey());
    QCOMPARE(second.picture().toImage().pixelColor(5, 5), QColor(Qt::green));
}

void TestItem::pictureUnderItsScaledName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("source"); // what the cache must hold unscaled
    QTest::addColumn<QColor>("colour");

    QTest::newRow("empty: blank") << "" << "" << QColor(Qt::transparent);
    QTest::newRow("unknown: no icon") << "nowhere-to-be-found.png" << ":/images/noicon" << QColor();
    const QString outside = writeProjectPicture(QStringLiteral("elsewhere.png"), 8, 8, Qt::cyan,
                                                QStringLiteral("elsewhere/"));
    QTest::newRow("absolute file as it stands") << outside << outside << QColor(Qt::cyan);
    QTest::newRow("resource as it stands") << ":/images/noicon" << ":/images/noicon" << QColor();
}

void TestItem::pictureUnderItsScaledName()
{
    QFETCH(QString, name);
    QFETCH(QString, source);
    QFETCH(QColor, colour);

    QDir().mkpath(projectDirectory() + QStringLiteral("icons/project"));
    PlainItem item;
    item.setSize(16, 12);
    item.loadPicture(name);
    QVERIFY(source.isEmpty() || PictureCache::contains(source));
    QCOMPARE(item.picture().cacheKey(), PictureCache::picture(name + QStringLiteral("$16x12")).cacheKey());
    QCOMPARE(item.picture().size(), QSize(16, 12));
    if (colour.isValid())
        QCOMPARE(item.picture().toImage().pixelColor(8, 6).rgba(), colour.rgba());
}

void TestItem::textIsRenderedOnceAndSizesTheItem()
{
    PlainItem a;
    PlainItem b;
    LogCapture log;
    a.createText(QStringLiteral("Rendered once"), false, false, 20, 0xFFFFFF);
    b.createText(QStringLiteral("Rendered once"), false, false, 20, 0xFFFFFF);
    QCOMPARE(log.count(QStringLiteral("Create Text")), 1);
    QCOMPARE(a.picture().cacheKey(), b.picture().cacheKey());
    QCOMPARE(a.width(), a.picture().width());
    QCOMPARE(a.height(), a.picture().height());
    QCOMPARE(b.text(), QStringLiteral("Rendered once"));
    QVERIFY(a.width() > 20);
    QCOMPARE(a.textPixelSize(), 20);
}

void TestItem::textPixelSizeAtLeastFive_data()
{
    QTest::addColumn<int>("fontSize");
    QTest::addColumn<int>("pixelSize");

    QTest::newRow("3 draws at 5") << 3 << 5;
    QTest::newRow("0 draws at 5") << 0 << 5;
    QTest::newRow("negative draws at 5") << -8 << 5;
    QTest::newRow("5") << 5 << 5;
    QTest::newRow("40") << 40 << 40;
}

void TestItem::textPixelSizeAtLeastFive()
{
    QFETCH(int, fontSize);
    QFETCH(int, pixelSize);

    PlainItem item;
    item.createText(QStringLiteral("Size"), false, false, fontSize, 0xFFFFFF);
    QCOMPARE(item.textPixelSize(), pixelSize);

    PlainItem reference;
    reference.createText(QStringLiteral("Size"), false, false, pixelSize, 0xFFFFFF);
    QCOMPARE(item.picture().cacheKey(), reference.picture().cacheKey());
}

void TestItem::emptyTextChangesNothing()
{
    PlainItem item;
    item.createText(QStringLiteral("kept"), false, false, 12, 0xFFFFFF);
    const qint64 picture = item.picture().cacheKey();
    const int w = item.width();
    const int h = item.height();
    QSignalSpy moved(&item, &Item::itemMoved);

    item.createText(QString(), true, true, 50, 0xFF0000);
    QCOMPARE(item.picture().cacheKey(), picture);
    QCOMPARE(item.text(), QStringLiteral("kept"));
    QCOMPARE(item.width(), w);
    QCOMPARE(item.height(), h);
    QCOMPARE(item.textPixelSize(), 12);
    QCOMPARE(moved.count(), 0);
}

// The rendered picture's most frequent opaque colour.
static QColor dominantColour(const QPixmap &pixmap)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = image.pixel(x, y);
            if (qAlpha(px) == 255)
                ++counts[px];
        }
    QRgb best = 0;
    int bestCount = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > bestCount) {
            best = it.key();
            bestCount = it.value();
        }
    return QColor::fromRgba(best);
}

void TestItem::textColourReachesThePixels_data()
{
    QTest::addColumn<int>("color");
    QTest::addColumn<QColor>("expected");

    QTest::newRow("blue 0x0000FF") << 0x0000FF << QColor(QStringLiteral("#0000FF"));
    QTest::newRow("0x12 is #000012") << 0x12 << QColor(QStringLiteral("#000012"));
    QTest::newRow("white") << 0xFFFFFF << QColor(Qt::white);
    QTest::newRow("red") << 0xFF0000 << QColor(Qt::red);
}

void TestItem::textColourReachesThePixels()
{
    QFETCH(int, color);
    QFETCH(QColor, expected);

    PlainItem item;
    item.createText(QStringLiteral("MMMM"), true, false, 60, color);
    QCOMPARE(dominantColour(item.picture()), expected);
}

void TestItem::renderingsDifferingInStyleAreDifferentPictures_data()
{
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<int>("fontSize");
    QTest::addColumn<int>("color");

    QTest::newRow("colour") << false << false << 40 << 0xFF0000;
    QTest::newRow("weight") << true << false << 40 << 0xFFFFFF;
    QTest::newRow("slant") << false << true << 40 << 0xFFFFFF;
    QTest::newRow("pixel size") << false << false << 41 << 0xFFFFFF;
}

void TestItem::renderingsDifferingInStyleAreDifferentPictures()
{
    QFETCH(bool, bold);
    QFETCH(bool, italic);
    QFETCH(int, fontSize);
    QFETCH(int, color);

    PlainItem white;
    white.createText(QStringLiteral("ALARM"), false, false, 40, 0xFFFFFF);
    PlainItem other;
    other.createText(QStringLiteral("ALARM"), bold, italic, fontSize, color);
    QVERIFY(other.picture().cacheKey() != white.picture().cacheKey());
    if (color != 0xFFFFFF)
        QCOMPARE(dominantColour(other.picture()), QColor(QRgb(0xFF000000u | uint(color))));
}

void TestItem::pressEmitsPortThenPage_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("pageId");
    QTest::addColumn<QStringList>("signals_");

    QTest::newRow("neither") << "" << "" << QStringList();
    QTest::newRow("port") << "ITM_Kueche_OUT3" << "" << QStringList{"ITM_Kueche_OUT3"};
    QTest::newRow("page") << "" << "ABC123" << QStringList{"PAGE_ABC123"};
    QTest::newRow("both, port first") << "ITM_Kueche_OUT3" << "ABC123"
                                      << QStringList{"ITM_Kueche_OUT3", "PAGE_ABC123"};
}

void TestItem::pressEmitsPortThenPage()
{
    QFETCH(QString, port);
    QFETCH(QString, pageId);
    QFETCH(QStringList, signals_);

    QGraphicsScene scene(0, 0, 200, 200);
    auto *item = new PlainItem;
    scene.addItem(item);
    editRecord(item, [&](ItemRecord &r) { r.port = port; });
    editRecord(item, [&](ItemRecord &r) { r.pageId = pageId; });
    QSignalSpy spy(item, &Item::changePort);

    QGraphicsView view(&scene);
    view.resize(240, 240);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, view.mapFromScene(QPointF(25, 25)));
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, view.mapFromScene(QPointF(25, 25)));

    QStringList emitted;
    for (const QList<QVariant> &args : spy)
        emitted << args.at(0).toString();
    QCOMPARE(emitted, signals_);
}

void TestItem::fixedItemsLetPressesThrough()
{
    QGraphicsScene scene(0, 0, 200, 200);
    auto *below = new PlainItem;
    auto *above = new PlainItem;
    scene.addItem(below);
    scene.addItem(above);
    editRecord(below, [&](ItemRecord &r) { r.port = QStringLiteral("ITM_Below_OUT1"); });
    editRecord(above, [&](ItemRecord &r) { r.port = QStringLiteral("ITM_Above_OUT1"); });
    for (Item *item : {below, above}) {
        item->setFlag(QGraphicsItem::ItemIsMovable, false);
        item->setFlag(QGraphicsItem::ItemIsSelectable, false);
        item->setFlag(QGraphicsItem::ItemIsFocusable, false);
        item->setLoaded(true);
    }
    QSignalSpy belowSpy(below, &Item::changePort);
    QSignalSpy aboveSpy(above, &Item::changePort);

    QGraphicsView view(&scene);
    view.resize(240, 240);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.mapFromScene(QPointF(10, 10)));
    QCOMPARE(aboveSpy.count(), 1);
    QCOMPARE(belowSpy.count(), 1);
}

void TestItem::draggingAnnouncesAndRefreshes()
{
    QGraphicsScene scene(0, 0, 300, 300);
    auto *item = new ItemPicture(nullptr, nullptr);
    scene.addItem(item);
    registerPropertyFrames();
    auto *x = item->showProperties()->findChild<QLineEdit *>(QStringLiteral("lineEditX"));
    QVERIFY(x);
    QSignalSpy moved(item, &Item::itemMoved);

    QGraphicsView view(&scene);
    view.resize(340, 340);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QPoint from = view.mapFromScene(QPointF(20, 20));
    const QPoint to = view.mapFromScene(QPointF(120, 20));
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, view.viewport()->mapToGlobal(to), Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &move);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, to);

    QCOMPARE(item->pos(), QPointF(100, 0));
    QVERIFY(moved.count() >= 1);
    // The frame shows where the item went.
    QCOMPARE(x->text(), QStringLiteral("100"));
}

void TestItem::doubleClickOnlyLogs()
{
    QGraphicsScene scene(0, 0, 200, 200);
    auto *item = new PlainItem;
    scene.addItem(item);
    QGraphicsView view(&scene);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    LogCapture log;
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, view.mapFromScene(QPointF(10, 10)));
    QCOMPARE(log.count(QStringLiteral("DOPPELKLICK!")), 1);
}

void TestItem::paintStretchesThePicture()
{
    QGraphicsScene scene(0, 0, 100, 100);
    scene.setBackgroundBrush(Qt::black);
    auto *item = new PlainItem;
    scene.addItem(item);
    QPixmap picture(2, 2);
    picture.fill(Qt::yellow);
    item->setPicture(picture);
    item->setSize(40, 20);
    item->SetPos(10, 10);

    QImage image(100, 100, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    scene.render(&painter, QRectF(0, 0, 100, 100), QRectF(0, 0, 100, 100));
    painter.end();
    QCOMPARE(image.pixelColor(12, 12), QColor(Qt::yellow));
    QCOMPARE(image.pixelColor(48, 28), QColor(Qt::yellow));
    QCOMPARE(image.pixelColor(52, 12), QColor(Qt::black));
    QCOMPARE(image.pixelColor(12, 32), QColor(Qt::black));
}

void TestItem::evictedTextStillPaints()
{
    QGraphicsScene scene(0, 0, 300, 100);
    scene.setBackgroundBrush(Qt::black);
    auto *item = new PlainItem;
    scene.addItem(item);
    item->createText(QStringLiteral("MMMM"), true, false, 60, 0xFF0000);
    const qint64 shown = item->picture().cacheKey();

    // The cache lets go of every rendering; the item keeps its own share.
    PictureCache::setTextBudget(0);
    QCOMPARE(PictureCache::textBytes(), 0);
    PictureCache::setTextBudget(PictureCache::defaultTextBudget);
    QCOMPARE(item->picture().cacheKey(), shown);

    QImage image(300, 100, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    scene.render(&painter, QRectF(0, 0, 300, 100), QRectF(0, 0, 300, 100));
    painter.end();
    int red = 0;
    for (int y = 0; y < item->height(); ++y)
        for (int x = 0; x < item->width(); ++x)
            red += image.pixelColor(x, y) == QColor(Qt::red) ? 1 : 0;
    QVERIFY2(red > 100, qPrintable(QString::number(red)));
}

QTEST_MAIN(TestItem)
#include "tst_item.moc"
