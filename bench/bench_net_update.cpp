// Cost of one live-update tick: 5,000 items on 20 pages bound to 5,000 keys,
// after a burst of reports that changes every key.

#include "bench/benchsupport.h"
#include "gui/window/mainwindow.h"
#include "gui/items/item.h"
#include "gui/items/itemadctext.h"
#include "gui/items/itemstatetext.h"
#include "gui/pages/page.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>
#include <utility>

namespace {

void quiet(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // The "Data" lines of 5,000 reports would measure the terminal, not the tick.
    if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

// Pictures remember the value, texts show it.
bool showsValue(Item *item, double value)
{
    if (qobject_cast<ItemStateText *>(item))
        return item->text() == item->record().textForState(Item::stateForValue(value));
    if (qobject_cast<ItemADCText *>(item))
        return item->text() == QString::asprintf("%.*f", item->record().digits, value);
    return item->lastValue() == value;
}

struct Figures
{
    int ticks = 0;
    double mean = 0;
    double worst = 0;
    double median = 0;
};

Figures runUntilApplied(MainWindow &window)
{
    std::vector<double> costs;
    const auto pending = [&window] { return window.liveState().hasChanges(); };
    while (pending() && costs.size() < 10000) {
        QElapsedTimer timer;
        timer.start();
        window.updateGUI();
        costs.push_back(timer.nsecsElapsed() / 1e6);
    }
    Figures f;
    f.ticks = int(costs.size());
    if (costs.empty())
        return f;
    double sum = 0;
    for (double c : costs)
        sum += c;
    f.mean = sum / costs.size();
    f.worst = *std::max_element(costs.begin(), costs.end());
    std::sort(costs.begin(), costs.end());
    f.median = costs[costs.size() / 2];
    return f;
}

} // namespace

int main(int argc, char *argv[])
{
    offscreenUnlessSet();
    QApplication app(argc, argv);
    qInstallMessageHandler(quiet);

    const int pageCount = 20;
    const int keyCount = 5000;
    MainWindow window;
    const int kinds[] = {ItemKind::StateButton, ItemKind::StateText, ItemKind::ADCText, ItemKind::StatePicture};
    const BenchPages pages(window, pageCount, keyCount, [&kinds](int key) { return kinds[key % 4]; });
    const std::vector<Item *> &items = pages.items;
    window.pages().first()->show();
    window.resize(1024, 768);
    window.show();
    QApplication::processEvents();

    std::printf("%d items on %d pages bound to %d keys; one tick visits 100 keys\n", int(items.size()), pageCount,
                keyCount);
    for (int round = 0; round < 4; ++round) {
        const double value = round % 2 ? 0.0 : 1.0;
        for (int key = 0; key < keyCount; ++key)
            window.liveState().onReceived(benchPort(key).object(), 1, true, value);
        const Figures f = runUntilApplied(window);
        int wrong = 0;
        for (Item *item : items)
            wrong += !showsValue(item, value);
        std::printf("burst %d of %d changed keys: %3d ticks, mean %.3f ms, median %.3f ms, worst %.3f ms%s\n",
                    round + 1, keyCount, f.ticks, f.mean, f.median, f.worst,
                    wrong ? qPrintable(QStringLiteral(", %1 items WRONG").arg(wrong)) : "");
    }
    // Where a tick's time goes: the items' own work, and the painting that the
    // tick's event processing does afterwards.
    {
        double apply = 0, paint = 0;
        for (int chunk = 0; chunk < keyCount; chunk += 100) {
            QElapsedTimer timer;
            timer.start();
            for (int key = chunk; key < chunk + 100; ++key) {
                const QString k = benchPort(key).toStateKey();
                for (Page *page : std::as_const(window.pages()))
                    page->setPortValue(k, 7.0 + chunk);
            }
            apply += timer.nsecsElapsed() / 1e6;
            timer.restart();
            QApplication::processEvents();
            paint += timer.nsecsElapsed() / 1e6;
        }
        std::printf("per 100 changed keys: items' setValue %.3f ms, event processing (painting) %.3f ms\n",
                    apply / (keyCount / 100), paint / (keyCount / 100));
    }
    // The items' own share, by kind.
    for (int kind = 0; kind < 4; ++kind) {
        QElapsedTimer timer;
        timer.start();
        int calls = 0;
        for (int round = 0; round < 2; ++round) {
            for (size_t i = size_t(kind); i < items.size(); i += 4, ++calls)
                items[i]->setValue(round % 2 ? 0.0 : 3.0 + round);
        }
        std::printf("  setValue of %-16s %.1f us a call\n", items[size_t(kind)]->metaObject()->className(),
                    timer.nsecsElapsed() / 1e3 / calls);
    }
    // The walk with nothing changed: what every idle tick costs.
    std::vector<double> idle;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer timer;
        timer.start();
        window.updateGUI();
        idle.push_back(timer.nsecsElapsed() / 1e6);
    }
    double sum = 0;
    for (double c : idle)
        sum += c;
    std::printf("idle ticks: mean %.3f ms, worst %.3f ms\n", sum / idle.size(),
                *std::max_element(idle.begin(), idle.end()));
    return 0;
}
