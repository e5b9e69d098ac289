// Handing one changed port value to every page, as the live update does for
// up to 100 keys every 10 ms. With 5,000 items on 20 pages the cost must
// follow the items bound to the key, not the items on the pages.
//
//   build/bench/bench_pages [pages] [items per page]

#include "bench/benchsupport.h"
#include <QApplication>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QTextStream>
#include <utility>

#include "gui/editors/frameupdater.h"
#include "gui/items/item.h"
#include "gui/pages/page.h"
#include "core/project/xmlelements.h"

namespace {

QDomElement element(QDomDocument &document, const QString &type, const QString &port, int index)
{
    QDomElement e = document.createElement(QStringLiteral("component"));
    appendIntElement(document, e, QStringLiteral("x"), (index % 16) * 60);
    appendIntElement(document, e, QStringLiteral("y"), (index / 16) * 45);
    appendIntElement(document, e, QStringLiteral("w"), 40);
    appendIntElement(document, e, QStringLiteral("h"), 40);
    appendElement(document, e, QStringLiteral("port"), port);
    appendElement(document, e, QStringLiteral("type"), type);
    return e;
}

// Nanoseconds per call of `work`, over enough calls to take ~200 ms.
template<typename Work>
double perCall(Work work)
{
    QElapsedTimer timer;
    int calls = 0;
    timer.start();
    while (timer.elapsed() < 200) {
        for (int i = 0; i < 100; ++i)
            work(calls++);
    }
    return double(timer.nsecsElapsed()) / calls;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    quietLogging();
    const QStringList args = app.arguments();
    const int pageCount = args.size() > 1 ? args.at(1).toInt() : 20;
    const int itemsPerPage = args.size() > 2 ? args.at(2).toInt() : 250;
    QTextStream out(stdout);

    // Ports: "hot" is bound by 500 items, each "one<n>" by one item, every
    // other item by a key of its own group of five.
    QList<Page *> pages;
    QDomDocument document;
    int bound = 0;
    for (int p = 0; p < pageCount; ++p) {
        Page *page = new Page(new QList<Item *>, &pages);
        page->setPageSize(1.0, 1024, 768);
        pages << page;
        for (int i = 0; i < itemsPerPage; ++i) {
            const int n = p * itemsPerPage + i;
            QString port;
            if (n % 10 == 0)
                port = QStringLiteral("ITM_Hot_OUT1");
            else if (n % 10 == 1)
                port = QStringLiteral("ITM_One%1_OUT1").arg(n);
            else
                port = QStringLiteral("ITM_Group%1_IN%2").arg(n / 5).arg(n % 5 == 0 ? 1 : 2);
            const QString type = n % 2 ? QStringLiteral("StateButton") : QStringLiteral("StatePicture");
            if (page->createItemFromXml(element(document, type, port, i)))
                ++bound;
        }
        page->lockItems();
        page->setControlMode();
    }

    auto allPages = [&pages](const QString &key, double value) {
        for (Page *page : std::as_const(pages))
            page->setPortValue(key, value);
    };
    // What the pages would cost if they compared every item's port.
    auto scanAll = [&pages](const QString &key, double value) {
        for (Page *page : std::as_const(pages)) {
            for (Item *item : page->items()) {
                if (item->record().port == key)
                    item->setValue(value);
            }
        }
    };

    const QString one = QStringLiteral("ITM_One1_OUT1");
    const QString hot = QStringLiteral("ITM_Hot_OUT1");
    const QString none = QStringLiteral("ITM_Nobody_OUT9");
    // The same value again: the items return at once, so this is what the
    // pages themselves cost. Alternating values add the items' reaction.
    const double unbound = perCall([&](int) { allPages(none, 1.0); });
    const double single = perCall([&](int) { allPages(one, 1.0); });
    const double many = perCall([&](int) { allPages(hot, 1.0); });
    const double scanned = perCall([&](int) { scanAll(one, 1.0); });
    const double singleReacting = perCall([&](int i) { allPages(one, i & 1); });
    const double manyReacting = perCall([&](int i) { allPages(hot, i & 1); });
    const int hotCount = bound / 10;

    out << "items: " << bound << " on " << pages.size() << " pages\n";
    out << "setPortValue on every page for one changed key (pages' own cost, value unchanged):\n";
    out << "  key bound to no item:       " << QString::number(unbound / 1000, 'f', 2) << " us\n";
    out << "  key bound to 1 item:        " << QString::number(single / 1000, 'f', 2) << " us\n";
    out << "  key bound to " << hotCount << " items:    " << QString::number(many / 1000, 'f', 2) << " us ("
        << QString::number(many / hotCount / 1000, 'f', 3) << " us per bound item)\n";
    out << "  comparing every item's port instead: " << QString::number(scanned / 1000, 'f', 2) << " us\n";
    out << "with the items' reaction (value toggled every call):\n";
    out << "  key bound to 1 item:        " << QString::number(singleReacting / 1000, 'f', 2) << " us\n";
    out << "  key bound to " << hotCount << " items:    " << QString::number(manyReacting / 1000, 'f', 2) << " us\n";
    out << "one update tick of 100 keys with 1 item each, pages' cost: " << QString::number(single * 100 / 1e6, 'f', 3)
        << " ms\n";
    out.flush();
    qDeleteAll(pages);
    return 0;
}
