#include <QApplication>
#include <QClipboard>
#include <QDomDocument>
#include <QSignalSpy>
#include <QtTest>

#include "gui/items/item.h"
#include "gui/pages/page.h"
#include "tests/support/itemsupport.h"
#include "core/project/xmlelements.h"

// The page's item factory and its editor: keys, clipboard fragments, delete.
class TestPageEditing : public QObject
{
    Q_OBJECT

private:
    QList<Item *> list;
    QList<Page *> pages;

    static QString clipboardText() { return QGuiApplication::clipboard()->text(); }

    static QList<Item *> selectedItems(Page &page)
    {
        QList<Item *> result;
        for (QGraphicsItem *item : page.scene()->selectedItems())
            result.append(dynamic_cast<Item *>(item));
        return result;
    }

    static Item *itemAt(Page &page, const QPoint &pos)
    {
        for (Item *item : page.items()) {
            if (item->pos().toPoint() == pos)
                return item;
        }
        return nullptr;
    }

    static void press(Page &page, int key, Qt::KeyboardModifiers modifiers)
    {
        // Keys reach the page through its view, which handles none itself.
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(page.view(), &event);
    }

private slots:

    void keyTable_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QPoint>("expected");

        const int ctrl = Qt::ControlModifier;
        // Both coordinates snap to the step's grid, also the one that stays.
        QTest::newRow("Right") << int(Qt::Key_Right) << 0 << QPoint(30, 40);
        QTest::newRow("Left") << int(Qt::Key_Left) << 0 << QPoint(10, 40);
        QTest::newRow("Up") << int(Qt::Key_Up) << 0 << QPoint(20, 30);
        QTest::newRow("Down") << int(Qt::Key_Down) << 0 << QPoint(20, 50);
        QTest::newRow("Ctrl+Right") << int(Qt::Key_Right) << ctrl << QPoint(24, 47);
        QTest::newRow("Ctrl+Left") << int(Qt::Key_Left) << ctrl << QPoint(22, 47);
        QTest::newRow("Ctrl+Up") << int(Qt::Key_Up) << ctrl << QPoint(23, 46);
        QTest::newRow("Ctrl+Down") << int(Qt::Key_Down) << ctrl << QPoint(23, 48);
        QTest::newRow("Ctrl+Shift+Down") << int(Qt::Key_Down) << int(ctrl | Qt::ShiftModifier) << QPoint(23, 48);
        QTest::newRow("Shift+Right") << int(Qt::Key_Right) << int(Qt::ShiftModifier) << QPoint(30, 40);
        QTest::newRow("A") << int(Qt::Key_A) << 0 << QPoint(23, 47);
        QTest::newRow("Ctrl+A") << int(Qt::Key_A) << ctrl << QPoint(23, 47);
        QTest::newRow("Ctrl+C") << int(Qt::Key_C) << ctrl << QPoint(23, 47);
    }

    void keyTable()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QPoint, expected);

        ScenePage page(&list, &pages);
        Item *item = page.createItem(ItemKind::Picture);
        Item *other = page.createItem(ItemKind::Picture);
        other->SetPos(200, 200);
        page.clearSelection();
        item->setSelected(true);
        item->SetPos(23, 47);

        press(page, key, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(item->pos().toPoint(), expected);
        QCOMPARE(other->pos().toPoint(), QPoint(200, 200));
        QCOMPARE(page.items().size(), 2);
    }

    void moveKeepsItemsInside()
    {
        ScenePage page(&list, &pages);
        Item *item = page.createItem(ItemKind::Picture);
        item->SetPos(3, 3);
        press(page, Qt::Key_Left, Qt::NoModifier);
        QCOMPARE(item->pos().toPoint(), QPoint(0, 0));
        item->SetPos(755, 545);
        press(page, Qt::Key_Right, Qt::NoModifier);
        QCOMPARE(item->pos().toPoint(), QPoint(751, 540));
    }

    // The operator's clipboard survives the editing keys of a running panel,
    // where nothing can be selected, and of a page where nothing is.

    void cutAndPaste()
    {
        ScenePage page(&list, &pages);
        Item *a = page.createItem(ItemKind::StatePicture);
        a->SetPos(100, 120);
        editRecord(a, [&](ItemRecord &r) { r.port = QStringLiteral("ITM_Bad_OUT1"); });
        Item *b = page.createItem(ItemKind::Picture);
        b->SetPos(300, 40);
        Item *stays = page.createItem(ItemKind::Button);
        stays->SetPos(500, 500);
        page.clearSelection();
        a->setSelected(true);
        b->setSelected(true);

        press(page, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(page.items().size(), 1);
        QDomDocument document;
        QVERIFY(document.setContent(clipboardText()));
        QCOMPARE(document.documentElement().childNodes().count(), 2);

        stays->setSelected(true);
        press(page, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(page.items().size(), 3);
        const QList<Item *> chosen = selectedItems(page);
        QCOMPARE(chosen.size(), 2);
        QVERIFY(!stays->isSelected());
        Item *pastedA = itemAt(page, QPoint(100, 120));
        Item *pastedB = itemAt(page, QPoint(300, 40));
        QVERIFY(pastedA && pastedB);
        QVERIFY(chosen.contains(pastedA) && chosen.contains(pastedB));
        QCOMPARE(QString::fromLatin1(pastedA->metaObject()->className()), QStringLiteral("ItemStatePicture"));
        QVERIFY(pastedA->flags() & QGraphicsItem::ItemIsMovable);

        // Pasted items are bound to their ports at once.
        page.setPortValue(QStringLiteral("ITM_Bad_OUT1"), 1.0);
        QCOMPARE(pastedA->lastValue(), 1.0);
    }
};

QTEST_MAIN(TestPageEditing)
#include "tst_pageediting.moc"
