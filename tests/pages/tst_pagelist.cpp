#include <QComboBox>
#include <QtTest>

#include "editors/propertyframes.h"
#include "items/item.h"
#include "tests/items/testhelper.h"
#include "pages/page.h"

// The page list of a page-change item's editor: the project's pages as link
// targets, the current link chosen, choices taken only once loaded.
class TestPageList : public QObject
{
    Q_OBJECT

private:
    QList<Page *> pages;

    static QComboBox *combo(Item *item)
    {
        // The frame is made when the properties are first shown.
        QWidget *frame = item->showProperties();
        return frame ? frame->findChild<QComboBox *>(QStringLiteral("comboBoxPage")) : nullptr;
    }

    static QStringList entries(QComboBox *box)
    {
        QStringList result;
        for (int i = 0; i < box->count(); ++i)
            result << box->itemText(i) + QLatin1Char('=') + box->itemData(i).toString();
        return result;
    }

private slots:
    void initTestCase() { registerPropertyFrames(); }

    void init()
    {
        qDeleteAll(pages);
        pages.clear();
        for (const char *name : {"Licht", "Klima", "Keller"}) {
            Page *page = new Page(nullptr, &pages);
            page->setPageSize(1.0, 800, 600);
            page->setName(QString::fromLatin1(name));
            page->setId(QString::fromLatin1(name).toUpper());
            pages << page;
        }
    }

    void cleanupTestCase() { qDeleteAll(pages); }

    void listsThePages_data()
    {
        QTest::addColumn<QString>("pageId");
        QTest::addColumn<int>("current");
        QTest::newRow("second page") << "KLIMA" << 2;
        QTest::newRow("first page") << "LICHT" << 1;
        QTest::newRow("no link") << "" << 0;
        QTest::newRow("unknown page") << "GARTEN" << 0;
        QTest::newRow("case matters") << "klima" << 0;
    }

    void listsThePages()
    {
        QFETCH(QString, pageId);
        QFETCH(int, current);
        Item *item = pages.first()->createItem(ItemKind::PageChange);
        item->setLoaded(true);
        editRecord(item, [&](ItemRecord &r) { r.pageId = pageId; });
        item->refreshProperties();

        QComboBox *box = combo(item);
        QVERIFY(box);
        QCOMPARE(entries(box), QStringList({QStringLiteral("--- Bitte wählen ---="), QStringLiteral("Licht=LICHT"),
                                            QStringLiteral("Klima=KLIMA"), QStringLiteral("Keller=KELLER")}));
        QCOMPARE(box->currentIndex(), current);
        // Filling the list neither changes the link nor the loaded flag.
        QCOMPARE(item->record().pageId, pageId);
        QVERIFY(item->isLoaded());

        item->refreshProperties();
        QCOMPARE(box->count(), 4);
        QCOMPARE(item->record().pageId, pageId);
    }

    void choiceOnlyOnceLoaded()
    {
        Item *item = pages.first()->createItem(ItemKind::PageChange);
        QComboBox *box = combo(item);
        QVERIFY(!item->isLoaded());
        box->setCurrentIndex(3);
        QVERIFY(item->record().pageId.isEmpty());

        item->setLoaded(true);
        box->setCurrentIndex(2);
        QCOMPARE(item->record().pageId, QStringLiteral("KLIMA"));
        box->setCurrentIndex(-1); // no entry chosen: the link stays
        QCOMPARE(item->record().pageId, QStringLiteral("KLIMA"));
        box->setCurrentIndex(0);
        QCOMPARE(item->record().pageId, QString());
    }

    void followsRenamedAndAddedPages()
    {
        Item *item = pages.first()->createItem(ItemKind::PageChange);
        editRecord(item, [&](ItemRecord &r) { r.pageId = QStringLiteral("NEU"); });
        pages.at(1)->setName(QStringLiteral("Heizung"));
        Page *added = new Page(nullptr, &pages);
        added->setName(QStringLiteral("Neu"));
        added->setId(QStringLiteral("NEU"));
        pages << added;
        item->refreshProperties();
        QComboBox *box = combo(item);
        QCOMPARE(box->count(), 5);
        QCOMPARE(box->itemText(2), QStringLiteral("Heizung"));
        QCOMPARE(box->currentIndex(), 4);
    }
};

QTEST_MAIN(TestPageList)
#include "tst_pagelist.moc"
