#ifndef ITEMSUPPORT_H
#define ITEMSUPPORT_H

// Item helpers for the tests of the GUI library (header only: the support
// library itself links only the core).

#include "gui/window/mainwindow.h"
#include "gui/items/itemadctext.h"
#include "gui/items/itembutton.h"
#include "gui/items/itempagechange.h"
#include "gui/items/itempicture.h"
#include "gui/items/itemstatebutton.h"
#include "gui/items/itemstatepicture.h"
#include "gui/items/itemstatetext.h"
#include "gui/items/itemtext.h"
#include "gui/pages/page.h"
#include "core/package/projectdirectory.h"
#include "core/project/xmlelements.h"
#include "tests/support/testpictures.h"
#include "tools/standins/msgserversim.h"

#include <QDomDocument>

#include <functional>
#include <memory>

// Changes an item's record as an editor would, without rendering it.
inline void editRecord(Item *item, const std::function<void(ItemRecord &)> &change)
{
    ItemRecord record = item->record();
    change(record);
    item->setRecord(record);
}

// A plain picture in the test's own projects folder (beside its executable);
// answers its path.
inline QString writeProjectPicture(const QString &name, int w, int h, unsigned rgb,
                                   const QString &folder = QStringLiteral("icons/project/"))
{
    const QString path = projectDirectory() + folder + name;
    writePicture(path, w, h, rgb);
    return path;
}

// A fresh item of the kind its saved type names (ADCText for anything unknown).
inline std::unique_ptr<Item> makeKind(const QString &kind)
{
    if (kind == QLatin1String("PageChange"))
        return std::make_unique<ItemPageChange>(nullptr, nullptr);
    if (kind == QLatin1String("Picture"))
        return std::make_unique<ItemPicture>(nullptr, nullptr);
    if (kind == QLatin1String("StatePicture"))
        return std::make_unique<ItemStatePicture>(nullptr, nullptr);
    if (kind == QLatin1String("Button"))
        return std::make_unique<ItemButton>(nullptr, nullptr);
    if (kind == QLatin1String("StateButton"))
        return std::make_unique<ItemStateButton>(nullptr, nullptr);
    if (kind == QLatin1String("Text"))
        return std::make_unique<ItemText>(nullptr, nullptr);
    if (kind == QLatin1String("StateText"))
        return std::make_unique<ItemStateText>(nullptr, nullptr);
    return std::make_unique<ItemADCText>(nullptr, nullptr);
}

// A 400 x 300 page of `window`, keeping its items in `items`.
inline Page *addWindowPage(MainWindow &window, QList<Item *> *items, const QString &id)
{
    Page *page = new Page(items, nullptr);
    window.addPage(page);
    page->setPageSize(1.0, 400, 300);
    page->setId(id);
    return page;
}

// Starts `sim` with the kitchen lamp on and gives `window` a client of it;
// the client ticks only when the test says.
inline QalixMsgClient *attachSimulator(MainWindow &window, MsgServerSim &sim)
{
    sim.addPort(QStringLiteral("OUT.Kueche.1"), MsgServerSim::Switch, 1.0);
    if (!sim.listen(QHostAddress::LocalHost, 0))
        return nullptr;
    window.setClient(new QalixMsgClient(loopbackClient(sim.serverPort())));
    window.client()->setTicking(false);
    return window.client();
}

// A page on the usual 800 x 600 scene at scale 1.
struct ScenePage : Page
{
    ScenePage(QList<Item *> *list, QList<Page *> *pages)
        : Page(list, pages)
    {
        setPageSize(1.0, 800, 600);
    }
};

#endif // ITEMSUPPORT_H
