#include <QApplication>
#include <QClipboard>
#include <QDomDocument>
#include <QSignalSpy>
#include <QtTest>

#include "items/item.h"
#include "pages/page.h"
#include "pagetesthelper.h"
#include "tests/items/testhelper.h"
#include "storage/xmlelements.h"

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
    void createItem_data()
    {
        // Each kind made by number (as the tool bar does) and by its saved type.
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("className");
        QTest::addColumn<bool>("typeClearsSelection");

        const char *kinds[] = {"PageChange", "Picture", "StatePicture", "Button",
                               "StateButton", "Text", "StateText", "ADCText"};
        for (int kind = 0; kind < 8; ++kind)
            QTest::newRow(kinds[kind]) << kind << kinds[kind] << QStringLiteral("Item") + kinds[kind] << true;
        QTest::newRow("link") << 8 << QString("Link") << QString() << true;
        QTest::newRow("negative, lower case") << -1 << QString("button") << QString() << false;
        QTest::newRow("large, unknown") << 100 << QString("Slider") << QString() << false;
        QTest::newRow("empty type") << 100 << QString("") << QString() << false;
        QTest::newRow("no type element") << 100 << QString() << QString() << false;
    }

    void createItem()
    {
        QFETCH(int, kind);
        QFETCH(QString, type);
        QFETCH(QString, className);
        QFETCH(bool, typeClearsSelection);

        ScenePage page(&list, &pages);
        Item *before = page.createItem(ItemKind::Picture);
        QVERIFY(before->isSelected());

        Item *item = page.createItem(kind);
        // Any creation clears the selection first, also one that makes nothing.
        QVERIFY(!before->isSelected());
        QCOMPARE(item && item->isSelected(), !className.isEmpty());
        before->setSelected(true);
        QDomDocument document;
        ElementSpec element{type, 120, 80, 60, 40};
        element.port = QStringLiteral("ITM_Flur_OUT2");
        element.pageId = QStringLiteral("KLIMA");
        Item *loaded = page.createItemFromXml(element.build(document));
        QCOMPARE(before->isSelected(), !typeClearsSelection);
        if (className.isEmpty()) {
            QCOMPARE(item, nullptr);
            QCOMPARE(loaded, nullptr);
            QCOMPARE(page.items().size(), 1);
            return;
        }
        QVERIFY(item && loaded);
        QCOMPARE(QString::fromLatin1(item->metaObject()->className()), className);
        QCOMPARE(QString::fromLatin1(loaded->metaObject()->className()), className);
        QCOMPARE(item->scene(), page.scene());
        QCOMPARE(item->pos(), QPointF(10, 10));
        QCOMPARE(item->pageList(), &list);
        QCOMPARE(item->pages(), &pages);
        QVERIFY(item->flags() & QGraphicsItem::ItemIsMovable);
        QVERIFY(item->flags() & QGraphicsItem::ItemIsSelectable);
        QCOMPARE(loaded->pos(), QPointF(120, 80));
        QCOMPARE(loaded->record().port, QStringLiteral("ITM_Flur_OUT2"));
        QCOMPARE(loaded->record().pageId, QStringLiteral("KLIMA"));
        QVERIFY(loaded->isSelected());
        QCOMPARE(page.items().size(), 3);

        // The page hears the item's moves and keeps it inside the scene.
        item->SetPos(-40, 20);
        QCOMPARE(item->pos(), QPointF(0, 20));
    }

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
        QTest::newRow("C") << int(Qt::Key_C) << 0 << QPoint(23, 47);
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

    void moveWithNothingSelected()
    {
        ScenePage page(&list, &pages);
        Item *item = page.createItem(ItemKind::Picture);
        item->SetPos(23, 47);
        page.clearSelection();
        press(page, Qt::Key_Right, Qt::NoModifier);
        press(page, Qt::Key_Delete, Qt::NoModifier);
        QCOMPARE(item->pos().toPoint(), QPoint(23, 47));
        QCOMPARE(page.items().size(), 1);
    }

    void deleteKeyWithAnyModifier_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::newRow("none") << 0;
        QTest::newRow("shift") << int(Qt::ShiftModifier);
        QTest::newRow("ctrl+alt") << int(Qt::ControlModifier | Qt::AltModifier);
    }

    void deleteKeyWithAnyModifier()
    {
        QFETCH(int, modifiers);
        ScenePage page(&list, &pages);
        Item *kept = page.createItem(ItemKind::Picture);
        Item *a = page.createItem(ItemKind::Button);
        Item *b = page.createItem(ItemKind::Text);
        a->setSelected(true);
        b->setSelected(true);
        press(page, Qt::Key_Delete, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(page.items().size(), 1);
        QCOMPARE(page.items().first(), kept);
        QCOMPARE(page.scene()->items().size(), 1);
        QVERIFY(page.scene()->selectedItems().isEmpty());
    }

    void copyWritesAFragment()
    {
        ScenePage page(&list, &pages);
        Item *a = page.createItem(ItemKind::StateButton);
        a->SetPos(100, 120);
        editRecord(a, [&](ItemRecord &r) { r.port = QStringLiteral("ITM_Wohnen_OUT1"); });
        Item *b = page.createItem(ItemKind::Text);
        b->SetPos(300, 40);
        a->setSelected(true);

        press(page, Qt::Key_C, Qt::ControlModifier);
        const QString text = clipboardText();
        QVERIFY(!text.startsWith(QLatin1String("<?xml")));
        QVERIFY2(text.contains(QLatin1String("\n <item>\n  <x>")), qPrintable(text));

        QDomDocument document;
        QVERIFY(document.setContent(text));
        const QDomElement root = document.documentElement();
        QCOMPARE(root.tagName(), QStringLiteral("QalixPlusDesignerProject"));
        const QDomNodeList items = root.childNodes();
        QCOMPARE(items.count(), 2);
        QStringList types;
        for (int i = 0; i < items.count(); ++i) {
            QCOMPARE(items.at(i).toElement().tagName(), QStringLiteral("item"));
            QCOMPARE(items.at(i).lastChild().toElement().tagName(), QStringLiteral("type"));
            types << childElement(items.at(i).childNodes(), QStringLiteral("type")).text();
        }
        types.sort();
        QCOMPARE(types, QStringList({QStringLiteral("StateButton"), QStringLiteral("Text")}));
        QVERIFY(text.contains(QLatin1String("<port>ITM_Wohnen_OUT1</port>")));
        QCOMPARE(page.items().size(), 2); // copying leaves the page as it was
    }

    // The operator's clipboard survives the editing keys of a running panel,
    // where nothing can be selected, and of a page where nothing is.
    void nothingSelectedLeavesTheClipboard_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("locked");
        QTest::newRow("copy, running panel") << int(Qt::Key_C) << true;
        QTest::newRow("cut, running panel") << int(Qt::Key_X) << true;
        QTest::newRow("copy, nothing selected") << int(Qt::Key_C) << false;
        QTest::newRow("cut, nothing selected") << int(Qt::Key_X) << false;
    }

    void nothingSelectedLeavesTheClipboard()
    {
        QFETCH(int, key);
        QFETCH(bool, locked);
        ScenePage page(&list, &pages);
        page.createItem(ItemKind::Picture)->SetPos(10, 10);
        page.createItem(ItemKind::Text)->SetPos(100, 10);
        page.clearSelection();
        if (locked) {
            page.lockItems();
            page.setControlMode();
        }
        const QString operatorText = QString::fromUtf8("Z\xc3\xa4hlerstand 4711, Raum 2.14");
        QGuiApplication::clipboard()->setText(operatorText);
        press(page, Qt::Key(key), Qt::ControlModifier);
        QCOMPARE(clipboardText(), operatorText);
        QCOMPARE(page.items().size(), 2);
    }

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

    void pasteIgnoresForeignText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("not xml") << QString("hello <world");
        QTest::newRow("empty") << QString("");
        QTest::newRow("other root") << QString("<html><item><type>Picture</type></item></html>");
        QTest::newRow("no items") << QString("<QalixPlusDesignerProject/>");
        QTest::newRow("unknown kinds") << QString("<QalixPlusDesignerProject><item><type>Link</type></item>"
                                                  "<item><type>picture</type></item><!-- x -->"
                                                  "</QalixPlusDesignerProject>");
    }

    void pasteIgnoresForeignText()
    {
        QFETCH(QString, text);
        ScenePage page(&list, &pages);
        QGuiApplication::clipboard()->setText(text);
        page.pasteItems();
        QVERIFY(page.items().isEmpty());
        QVERIFY(page.scene()->items().isEmpty());
    }

    void pasteAcceptsAnyItemTag()
    {
        ScenePage page(&list, &pages);
        QGuiApplication::clipboard()->setText(QStringLiteral(
            "<QalixPlusDesignerProject><component><x>40</x><y>50</y><w>20</w><h>20</h>"
            "<type>Button</type></component></QalixPlusDesignerProject>"));
        page.pasteItem();
        QCOMPARE(page.items().size(), 1);
        QCOMPARE(page.items().first()->pos(), QPointF(40, 50));
        QVERIFY(page.items().first()->isSelected());
        QVERIFY(!page.createItemFromXml(QDomNode()));
    }

    void slotsRunTheOperations()
    {
        ScenePage page(&list, &pages);
        Item *a = page.createItem(ItemKind::Picture);
        a->SetPos(70, 80);
        page.copyItem();
        page.deleteItem();
        QVERIFY(page.items().isEmpty());
        page.pasteItem();
        QCOMPARE(page.items().size(), 1);
        QCOMPARE(page.items().first()->pos(), QPointF(70, 80));
    }
};

QTEST_MAIN(TestPageEditing)
#include "tst_pageediting.moc"
