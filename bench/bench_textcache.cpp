// Soak of the text renderings: 40 analogue items take 1,000 rounds of values
// never shown before, as a drifting temperature gives them over months. The
// memory after the warm-up must stay within 40 MiB of its level at the start.
//   build/bench/bench_textcache [rounds] [--no-budget]
// --no-budget lifts the renderings' budget, for the figures without it.

#include "bench/benchsupport.h"
#include "gui/items/itemadctext.h"
#include "gui/pictures/picturecache.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QTextStream>

#include <limits>

namespace {

constexpr int itemCount = 40;
constexpr int warmUpRounds = 200;

double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    offscreenUnlessSet();
    QApplication app(argc, argv);
    quietLogging(false);
    const QStringList arguments = QApplication::arguments().mid(1);
    const bool noBudget = arguments.contains(QStringLiteral("--no-budget"));
    int rounds = 1000;
    for (const QString &argument : arguments) {
        if (argument.toInt() > 0)
            rounds = argument.toInt();
    }
    QFontDatabase::addApplicationFont(QStringLiteral(":/font/normal"));
    if (noBudget)
        PictureCache::setTextBudget(std::numeric_limits<int>::max());
    QTextStream out(stdout);

    // Two rows of values at 30 pixels with two decimals, as a page of
    // temperatures shows them.
    QGraphicsScene scene(0, 0, 1024, 768);
    QList<Item *> list;
    for (int i = 0; i < itemCount; ++i) {
        auto *item = new ItemADCText(&list, nullptr);
        ItemRecord record = item->record();
        record.fontSize = 30;
        record.digits = 2;
        item->setRecord(record);
        scene.addItem(item);
        item->setPos((i % 10) * 100, (i / 10) * 60);
        list.append(item);
    }
    QImage screen(1024, 768, QImage::Format_ARGB32_Premultiplied);
    const auto paint = [&] {
        QPainter painter(&screen);
        scene.render(&painter);
    };

    // A value is never repeated: round r gives item i the value
    // 1000 + (r * 40 + i) / 100 with two decimals.
    const auto round = [&](int r) {
        for (int i = 0; i < itemCount; ++i)
            list.at(i)->setValue(1000 + (r * itemCount + i) / 100.0);
        paint();
    };
    round(0);
    app.processEvents();
    const double start = residentMiB();
    out << "bench_textcache: " << itemCount << " analogue items x " << rounds << " rounds of new values, budget "
        << (noBudget ? QStringLiteral("none") : QString::number(PictureCache::textBudget() / (1024 * 1024)) + " MiB")
        << "\n";
    out << "  start: " << QString::number(start, 'f', 1) << " MiB\n";

    QElapsedTimer timer;
    timer.start();
    double peakAfterWarmUp = 0;
    for (int r = 1; r <= rounds; ++r) {
        round(r);
        if (r % 50 == 0)
            app.processEvents();
        const bool sample = r % 100 == 0 || r == rounds;
        if (r > warmUpRounds || sample) {
            const double now = residentMiB();
            if (r > warmUpRounds)
                peakAfterWarmUp = qMax(peakAfterWarmUp, now);
            if (sample) {
                out << "  round " << r << ": " << QString::number(now, 'f', 1) << " MiB, renderings "
                    << QString::number(PictureCache::textBytes() / (1024.0 * 1024.0), 'f', 1) << " MiB\n";
                out.flush();
            }
        }
    }
    const double elapsed = timer.nsecsElapsed() / 1e6;
    const double growth = peakAfterWarmUp - start;
    out << "  values drawn: " << rounds * itemCount << " in " << QString::number(elapsed, 'f', 0) << " ms ("
        << QString::number(elapsed * 1000 / (rounds * itemCount), 'f', 1) << " us each)\n";
    out << "  highest after warm-up (" << warmUpRounds << " rounds): " << QString::number(peakAfterWarmUp, 'f', 1)
        << " MiB, " << QString::number(growth, 'f', 1)
        << " MiB above the start (target <= 40): " << (growth <= 40 ? "met" : "NOT MET") << "\n";
    return 0;
}
