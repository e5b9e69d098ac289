#include <QCoreApplication>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include "items/item.h"
#include "items/itemstatebutton.h"
#include "items/itemstatepicture.h"
#include "storage/itemkind.h"
#include "pages/page.h"
#include "pagetesthelper.h"

// Page, view and scene: construction, sizing, background, port values,
// locking and keeping items inside the scene.
class TestPage : public QObject
{
    Q_OBJECT

private:
    QList<Item *> list;
    QList<Page *> pages;

    Item *addItem(Page &page, const ElementSpec &element)
    {
        QDomDocument document;
        return page.createItemFromXml(element.build(document));
    }

    static QString backgroundDir()
    {
        return QCoreApplication::applicationDirPath() + QLatin1String("/projects/background/project/");
    }

private slots:
    void nameAndId()
    {
        Page page(&list, &pages);
        QCOMPARE(page.name(), QStringLiteral("Neue Seite"));
        QVERIFY(QRegularExpression(QStringLiteral("^[A-Z0-9]{16}$")).match(page.id()).hasMatch());
        QCOMPARE(page.toolTip(), page.id());
        Page other(&list, &pages);
        QVERIFY(other.id() != page.id());

        page.setName(QStringLiteral("Licht"));
        page.setId(QStringLiteral("P1"));
        QCOMPARE(page.name(), QStringLiteral("Licht"));
        QCOMPARE(page.toolTip(), QStringLiteral("P1"));
    }

    void rescale_data()
    {
        QTest::addColumn<QSize>("pageSize");
        QTest::addColumn<QSize>("sceneSize");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QSize>("viewSize");

        // The height limit is the page height less 8, the width limit the width.
        QTest::newRow("scene larger than page") << QSize(800, 600) << QSize(1024, 768) << 1.0 << QSize(800, 592);
        QTest::newRow("scene smaller than page") << QSize(800, 600) << QSize(400, 300) << 1.0 << QSize(405, 305);
        QTest::newRow("half scale") << QSize(800, 600) << QSize(1024, 768) << 0.5 << QSize(517, 389);
        QTest::newRow("double scale, limited") << QSize(800, 600) << QSize(400, 300) << 2.0 << QSize(800, 592);
        QTest::newRow("full HD by height") << QSize(1920, 1040) << QSize(1024, 768) << 1040.0 / 768.0
                                           << QSize(1391, 1032);
        QTest::newRow("largest scene") << QSize(800, 600) << QSize(2147483647, 2147483647) << 1.0 << QSize(800, 592);
        QTest::newRow("negative scene") << QSize(800, 600) << QSize(-20, -5) << 1.0 << QSize(0, 0);
        QTest::newRow("exact fit") << QSize(1029, 781) << QSize(1024, 768) << 1.0 << QSize(1029, 773);
    }

    void rescale()
    {
        QFETCH(QSize, pageSize);
        QFETCH(QSize, sceneSize);
        QFETCH(double, scale);
        QFETCH(QSize, viewSize);

        Page page(&list, &pages);
        page.resize(pageSize);
        page.setPageSize(1.0, sceneSize.width(), sceneSize.height());
        QCOMPARE(page.scene()->sceneRect(), QRectF(QPointF(0, 0), sceneSize));
        page.rescale(scale);
        QCOMPARE(page.view()->size(), viewSize);
        QCOMPARE(page.view()->minimumSize(), viewSize);
        QCOMPARE(page.view()->maximumSize(), viewSize);
    }

    void setScaleZoomsTheView()
    {
        Page page(&list, &pages);
        page.resize(1920, 1040);
        page.setPageSize(1.0, 1024, 768);
        page.setScale(2.0);
        QCOMPARE(page.view()->transform(), QTransform::fromScale(2.0, 2.0));
        page.setScale(1040.0 / 768.0);
        QCOMPARE(page.view()->transform().m11(), 1040.0 / 768.0);
        QCOMPARE(page.view()->transform().m22(), 1040.0 / 768.0);
        QCOMPARE(page.view()->size(), QSize(1391, 1032));
    }

    void background_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("project");
        QTest::addColumn<QString>("stored");
        QTest::newRow("plain") << "hall.png" << false << "hall.png";
        QTest::newRow("project prefix") << "project/plant.png" << true << "plant.png";
    }

    void background()
    {
        QFETCH(QString, name);
        QFETCH(bool, project);
        QFETCH(QString, stored);

        QVERIFY(writePicture(backgroundDir() + stored, 64, 48));
        Page page(&list, &pages);
        page.resize(800, 600);
        page.setPageSize(1.0, 400, 300);
        page.setBackground(name);
        QCOMPARE(page.background(), stored);
        QCOMPARE(page.projectBackground(), project);
        if (project)
            page.rescale(1.0); // the picture is found under the stored name
        QCOMPARE(page.scene()->backgroundBrush().texture().size(), QSize(400, 300));
        QCOMPARE(page.scene()->backgroundBrush().texture().toImage().pixel(200, 150), 0xffff8000u);

        // The brush follows the scene's size at the next rescale.
        page.setPageSize(1.0, 200, 100);
        QCOMPARE(page.scene()->backgroundBrush().texture().size(), QSize(200, 100));
    }

    void missingBackground()
    {
        QVERIFY(writePicture(backgroundDir() + QLatin1String("first.png"), 10, 10));
        Page page(&list, &pages);
        page.resize(800, 600);
        page.setPageSize(1.0, 100, 100);
        page.setBackground(QStringLiteral("nothere.png"));
        QCOMPARE(page.scene()->backgroundBrush().style(), Qt::NoBrush);

        page.setBackground(QStringLiteral("first.png"));
        QVERIFY(!page.scene()->backgroundBrush().texture().isNull());
        QVERIFY(QFile::remove(backgroundDir() + QLatin1String("first.png")));
        // A rescale that finds no file keeps the brush it had.
        page.rescale(1.0);
        QCOMPARE(page.scene()->backgroundBrush().texture().size(), QSize(100, 100));
    }

    void setPortValueReachesBoundItemsOnly()
    {
        ScenePage page(&list, &pages);
        const auto bound = [&](const char *type, const char *port) {
            ElementSpec element{QString::fromLatin1(type)};
            element.port = QString::fromLatin1(port);
            return addItem(page, element);
        };
        Item *a = bound("StateButton", "ITM_Kueche_OUT1");
        Item *b = bound("StatePicture", "ITM_Kueche_OUT1");
        Item *c = bound("StateButton", "itm_kueche_out1");
        Item *d = bound("StatePicture", "ITM_Kueche_OUT2");
        Item *e = bound("StateButton", "");
        QVERIFY(a && b && c && d && e);

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
    }

    void setPortValueFollowsDeletionAndPortChanges()
    {
        ScenePage page(&list, &pages);
        ElementSpec bound{QStringLiteral("StateButton")};
        bound.port = QStringLiteral("ITM_Bad_OUT3");
        Item *first = addItem(page, bound);
        Item *second = addItem(page, bound);
        QCOMPARE(page.items().size(), 2);

        page.clearSelection();
        first->setSelected(true);
        page.deleteItems();
        QCOMPARE(page.items().size(), 1);
        page.setPortValue(QStringLiteral("ITM_Bad_OUT3"), 1.0); // must not touch the deleted item
        QCOMPARE(second->lastValue(), 1.0);

        // A new record with another port re-files the item.
        ItemRecord record = second->record();
        record.port = QStringLiteral("ITM_Bad_OUT4");
        second->setRecord(record);
        page.setPortValue(QStringLiteral("ITM_Bad_OUT3"), 0.0);
        QCOMPARE(second->lastValue(), 1.0);
        page.setPortValue(QStringLiteral("ITM_Bad_OUT4"), 0.0);
        QCOMPARE(second->lastValue(), 0.0);
    }

    void lockAndControlMode()
    {
        ScenePage page(&list, &pages);
        Item *a = page.createItem(ItemKind::Button);
        Item *b = page.createItem(ItemKind::Text);
        a->setEnabled(false);
        a->setSelected(true);
        b->setSelected(true);
        QVERIFY(a->flags() & QGraphicsItem::ItemIsMovable);
        QVERIFY(!a->isLoaded());

        page.lockItems();
        for (Item *item : {a, b}) {
            QVERIFY(!item->isSelected());
            QVERIFY(item->isEnabled());
            QVERIFY(!(item->flags() & QGraphicsItem::ItemIsMovable));
            QVERIFY(!(item->flags() & QGraphicsItem::ItemIsFocusable));
            QVERIFY(!(item->flags() & QGraphicsItem::ItemIsSelectable));
            QVERIFY(!item->isLoaded());
        }
        QCOMPARE(page.view()->dragMode(), QGraphicsView::NoDrag);

        page.setControlMode();
        QVERIFY(a->isLoaded());
        QVERIFY(b->isLoaded());
    }

    void selection()
    {
        ScenePage page(&list, &pages);
        Item *a = page.createItem(ItemKind::Picture);
        Item *b = page.createItem(ItemKind::Picture);
        QSignalSpy spy(&page, &Page::selected);

        page.clearSelection();
        QVERIFY(!spy.isEmpty());
        QCOMPARE(qvariant_cast<Item *>(spy.last().at(0)), nullptr);

        Item::setFrameFactory([](Item *) { return new QWidget; });
        QVERIFY(!a->propertyFrame());
        QWidget *frame = a->showProperties();
        QVERIFY(frame && frame->isVisible());
        QCOMPARE(a->showProperties(), frame);
        a->setSelected(true);
        QCOMPARE(qvariant_cast<Item *>(spy.last().at(0)), a);
        QVERIFY(!frame->isVisible());
        Item::setFrameFactory(nullptr);

        b->setSelected(true);
        QCOMPARE(qvariant_cast<Item *>(spy.last().at(0)), nullptr);
    }

    void buildOnFirstShow()
    {
        ScenePage page(&list, &pages);
        QList<ItemElement> elements;
        for (const char *port : {"ITM_A_OUT1", "ITM_B_OUT1", "ITM_C_OUT1"}) {
            ItemElement element;
            element.type = QStringLiteral("StateButton");
            element.x = 20;
            element.y = 30;
            element.w = element.h = 40;
            element.record.port = QLatin1String(port);
            elements << element;
        }
        elements << ItemElement(); // no type: no item
        page.setPendingItems(elements);
        QVERIFY(!page.isBuilt());
        QVERIFY(page.items().isEmpty());

        // A reports 0.5, B was only pressed (known, never reported), C nothing.
        QStringList asked;
        page.setValueSource([&asked](const QString &key, double *value) {
            asked << key;
            if (key != QLatin1String("ITM_A_OUT1"))
                return false;
            *value = 0.5;
            return true;
        });
        QSignalSpy built(&page, &Page::itemBuilt);
        page.show();
        QVERIFY(page.isBuilt());
        QCOMPARE(built.size(), 3);
        QCOMPARE(page.items().size(), 3);
        asked.sort();
        QCOMPARE(asked, (QStringList{"ITM_A_OUT1", "ITM_B_OUT1", "ITM_C_OUT1"}));
        const QList<Item *> items = page.items();
        QCOMPARE(items.at(0)->lastValue(), 0.5);
        QCOMPARE(items.at(1)->lastValue(), -99999999.0);
        QCOMPARE(items.at(0)->pos().toPoint(), QPoint(20, 30));
        for (Item *item : items) {
            QVERIFY(item->isLoaded());
            QVERIFY(!(item->flags() & QGraphicsItem::ItemIsSelectable));
        }
        // Built once: showing it again makes nothing new.
        page.hide();
        page.show();
        QCOMPARE(page.items().size(), 3);
    }

    void keepInside_data()
    {
        QTest::addColumn<QPoint>("start");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QPoint>("expected");

        // Scene 800 x 600: the right limit is 802, the bottom limit 602.
        QTest::newRow("inside") << QPoint(100, 100) << QSize(50, 50) << 1.0 << QPoint(100, 100);
        QTest::newRow("left of scene") << QPoint(-20, 10) << QSize(50, 50) << 1.0 << QPoint(0, 10);
        QTest::newRow("above scene") << QPoint(10, -5) << QSize(50, 50) << 1.0 << QPoint(10, 0);
        QTest::newRow("past right edge") << QPoint(750, 10) << QSize(100, 50) << 1.0 << QPoint(701, 10);
        QTest::newRow("past bottom edge") << QPoint(10, 580) << QSize(50, 50) << 1.0 << QPoint(10, 551);
        QTest::newRow("reaches right limit") << QPoint(752, 0) << QSize(50, 50) << 1.0 << QPoint(751, 0);
        QTest::newRow("one short of right limit") << QPoint(751, 0) << QSize(50, 50) << 1.0 << QPoint(751, 0);
        QTest::newRow("two corners") << QPoint(-5, 700) << QSize(50, 50) << 1.0 << QPoint(0, 551);
        QTest::newRow("scaled item") << QPoint(750, 10) << QSize(50, 50) << 2.0 << QPoint(701, 10);
        QTest::newRow("almost too wide") << QPoint(5, 0) << QSize(801, 50) << 1.0 << QPoint(0, 0);
        QTest::newRow("too wide, right") << QPoint(30, 10) << QSize(900, 50) << 1.0 << QPoint(0, 10);
        QTest::newRow("too wide, left") << QPoint(-30, 10) << QSize(900, 50) << 1.0 << QPoint(0, 10);
        QTest::newRow("width equals limit") << QPoint(40, 10) << QSize(802, 50) << 1.0 << QPoint(0, 10);
        QTest::newRow("too high") << QPoint(10, 40) << QSize(50, 700) << 1.0 << QPoint(10, 0);
        QTest::newRow("too large both ways") << QPoint(99, 99) << QSize(1000, 1000) << 1.0 << QPoint(0, 0);
        QTest::newRow("too wide, past bottom") << QPoint(20, 590) << QSize(900, 50) << 1.0 << QPoint(0, 551);
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
