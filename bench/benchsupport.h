#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H

// What the benchmarks share.

#include "core/bus/portid.h"
#include "gui/items/item.h"
#include "gui/pages/page.h"
#include "gui/window/mainwindow.h"

#include <QLoggingCategory>
#include <QSize>

#include <functional>
#include <memory>
#include <vector>

// The offscreen platform unless the caller chose one: before the
// application object, on machines without a display too.
inline void offscreenUnlessSet()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Debug lines off, and with `panelLines` false the panel's information
// lines too, so that the figures stay readable.
inline void quietLogging(bool panelLines = true)
{
    QLoggingCategory::setFilterRules(panelLines ? QStringLiteral("*.debug=false")
                                                : QStringLiteral("*.debug=false\n*.info=false"));
}

// The port key `key` stands for: output 1 of object R<key>.
inline PortId benchPort(int key)
{
    return PortId(PortId::Out, QStringLiteral("R%1").arg(key), 1);
}

// `keyCount` items on `pageCount` pages of 1024 x 768 in `window`, item k
// bound to benchPort(k) and of the kind `kindOf(k)`, the pages in control
// mode as a running panel has them.
struct BenchPages
{
    std::vector<std::unique_ptr<QList<Item *>>> lists;
    std::vector<Item *> items;

    BenchPages(MainWindow &window, int pageCount, int keyCount, const std::function<int(int)> &kindOf)
    {
        window.setPageSize(QSize(1024, 768));
        for (int p = 0; p < pageCount; ++p) {
            lists.push_back(std::make_unique<QList<Item *>>());
            Page *page = new Page(lists.back().get(), nullptr);
            window.addPage(page);
            page->setPageSize(1.0, 1024, 768);
            page->setId(QString::number(p));
            for (int i = 0; i < keyCount / pageCount; ++i) {
                const int key = p * (keyCount / pageCount) + i;
                Item *item = page->createItem(kindOf(key));
                item->SetPos(20 + (i % 25) * 40, 20 + (i / 25) * 70);
                item->setSize(36, 36);
                ItemRecord record = item->record();
                record.port = benchPort(key).toStateKey();
                item->setRecord(record);
                items.push_back(item);
            }
            page->clearSelection();
            page->lockItems();
            page->setControlMode();
        }
    }
};

#endif // BENCHSUPPORT_H
