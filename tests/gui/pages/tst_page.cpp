#include <QSignalSpy>
#include <QtTest>

#include "gui/items/item.h"
#include "core/project/itemkind.h"
#include "gui/pages/page.h"
#include "gui/pictures/picturecache.h"
#include "tests/support/itemsupport.h"

// Page, view and scene: construction, sizing, background, port values,
// locking and keeping items inside the scene.
class TestPage : public QObject
{
    Q_OBJECT

private:
    QList<Item *> list;
    QList<Page *> pages;

    // An item as a document describes it, 50 x 50 at (10, 10).
    Item *addItem(Page &page, const QString &type, const QString &port)
    {
        QDomDocument document;
        document.setContent(QStringLiteral("<component><x>10</x><y>10</y><w>50</w><h>50</h><port>%1</port>"
                                           "<type>%2</type></component>")
                                .arg(port, type));
        return page.createItemFromXml(document.documentElement());
    }

private slots:
    // Identifiers of new pages: 16 of A-Z and 0-9, driven by the start-up seed.
    // Values reach the items bound to the port as written, also after
    // deletions and port changes.
    void setPortValueReachesBoundItemsOnly()
    {
        ScenePage page(&list, &pages);
        Item *deleted = addItem(page, "StateButton", "ITM_Kueche_OUT1");
        Item *a = addItem(page, "StateButton", "ITM_Kueche_OUT1");
        Item *b = addItem(page, "StatePicture", "ITM_Kueche_OUT1");
        Item *c = addItem(page, "StateButton", "itm_kueche_out1");
        Item *d = addItem(page, "StatePicture", "ITM_Kueche_OUT2");
        Item *e = addItem(page, "StateButton", "");
        QVERIFY(deleted && a && b && c && d && e);
        page.clearSelection();
        deleted->setSelected(true);
        page.deleteItems();
        QCOMPARE(page.items().size(), 5);

        page.setPortValue(QStringLiteral("ITM_Kueche_OUT1"), 1.0);
        QCOMPARE(a->lastValue(), 1.0);
        QCOMPARE(b->lastValue(), 1.0);
        QCOMPARE(c->lastValue(), -99999999.0);
        QCOMPARE(d->lastValue(), -99999999.0);
        QCOMPARE(e->lastValue(), -99999999.0);

        page.setPortValue(QString(), 5.0);
        QCOMPARE(e->lastValue(), -99999999.0);
        page.setPortValue(QStringLiteral("ITM_Unknown_IN1"), 5.0);
        QCOMPARE(a->lastValue(), 1.0);

        // A new record with another port re-files the item.
        editRecord(a, [](ItemRecord &r) { r.port = QStringLiteral("ITM_Kueche_OUT2"); });
        page.setPortValue(QStringLiteral("ITM_Kueche_OUT1"), 0.0);
        QCOMPARE(a->lastValue(), 1.0);
        page.setPortValue(QStringLiteral("ITM_Kueche_OUT2"), 0.0);
        QCOMPARE(a->lastValue(), 0.0);
    }

    // A document's item size is not trusted with memory: the copies made
    // ahead of a page's items are those its items take, no others.
    void buildScalesOnlyWhatItemsTake()
    {
        const QString picture = writeProjectPicture(QStringLiteral("fit.png"), 40, 30, 0x3366ff);
        ScenePage page(&list, &pages);
        ItemElement fits;
        fits.type = QStringLiteral("Picture");
        fits.w = 64;
        fits.h = 48;
        fits.record.imageActive = picture;
        ItemElement tooLarge = fits;
        tooLarge.x = 10;
        tooLarge.w = tooLarge.h = 1000; // beyond the scene, within what a copy may hold
        page.setPendingItems({fits, tooLarge});
        page.ensureBuilt();
        QVERIFY(PictureCache::contains(Item::scaledKey(picture, 64, 48)));
        QVERIFY(!PictureCache::contains(Item::scaledKey(picture, 1000, 1000)));
    }

    void keepInside_data()
    {
        QTest::addColumn<QPoint>("start");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QPoint>("expected");

        // Scene 800 x 600: the right limit is 802, the bottom limit 602.
        QTest::newRow("left of scene") << QPoint(-20, 10) << QSize(50, 50) << 1.0 << QPoint(0, 10);
        QTest::newRow("past right edge") << QPoint(750, 10) << QSize(100, 50) << 1.0 << QPoint(701, 10);
        QTest::newRow("reaches right limit") << QPoint(752, 0) << QSize(50, 50) << 1.0 << QPoint(751, 0);
        QTest::newRow("scaled item") << QPoint(750, 10) << QSize(50, 50) << 2.0 << QPoint(701, 10);
        QTest::newRow("too wide, right") << QPoint(30, 10) << QSize(900, 50) << 1.0 << QPoint(0, 10);
        QTest::newRow("too large both ways") << QPoint(99, 99) << QSize(1000, 1000) << 1.0 << QPoint(0, 0);
    }

    void keepInside()
    {
        QFETCH(QPoint, start);
        QFETCH(QSize, size);
        QFETCH(double, scale);
        QFETCH(QPoint, expected);

        ScenePage page(&list, &pages);
        Item *item = page.createItem(ItemKind::Picture);
        Item *bystander = page.createItem(ItemKind::Picture);
        bystander->SetPos(300, 300);
        item->setScale(scale);
        item->setSize(size.width(), size.height());
        item->setPos(start); // the graphics item's own move: no clamping yet

        QSignalSpy moves(item, &Item::itemMoved);
        page.keepInside(item);
        QCOMPARE(item->pos().toPoint(), expected);
        // Clamping settles: it never goes back and forth between two edges.
        QVERIFY(moves.count() <= 4);
        QCOMPARE(bystander->pos().toPoint(), QPoint(300, 300));

        // Moving any item keeps every item of the scene inside.
        item->setPos(start);
        bystander->SetPos(310, 300);
        QCOMPARE(item->pos().toPoint(), expected);
    }
};

QTEST_MAIN(TestPage)
#include "tst_page.moc"
