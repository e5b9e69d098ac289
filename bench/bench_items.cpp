// Items on a large page: how many pictures they hold and how long pictures
// and texts take, first and cached.
//   build/bench/bench_items [items]

#include "bench/benchsupport.h"
#include "gui/items/itempicture.h"
#include "gui/items/itemtext.h"
#include "gui/pictures/picturecache.h"
#include "core/package/projectdirectory.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QImage>
#include <QSet>
#include <QTextStream>

#include <memory>
#include <vector>

namespace {

constexpr int pictureCount = 50;
const QSize sizes[] = {QSize(32, 32), QSize(50, 50), QSize(96, 64)};

double msSince(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    offscreenUnlessSet();
    QApplication app(argc, argv);
    const int itemCount = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5000;
    QTextStream out(stdout);
    QFontDatabase::addApplicationFont(QStringLiteral(":/font/normal"));
    // "Create Text" is an information line; keep the figures readable.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    const QString dir = projectDirectory() + QStringLiteral("icons/project/");
    QDir().mkpath(dir);
    for (int i = 0; i < pictureCount; ++i) {
        QImage image(128, 128, QImage::Format_ARGB32);
        image.fill(QColor::fromHsv(i * 7, 200, 220));
        image.save(dir + QStringLiteral("bench_%1.png").arg(i), "PNG");
    }

    QElapsedTimer timer;
    timer.start();
    std::vector<std::unique_ptr<Item>> items;
    items.reserve(size_t(itemCount));
    for (int i = 0; i < itemCount; ++i) {
        items.push_back(std::make_unique<ItemPicture>(nullptr, nullptr));
        const QSize size = sizes[(i / pictureCount) % 3];
        items.back()->setSize(size.width(), size.height());
    }
    const double createMs = msSince(timer);

    const int entriesBefore = PictureCache::count();
    timer.restart();
    for (int i = 0; i < itemCount; ++i)
        items[size_t(i)]->loadPicture(QStringLiteral("bench_%1.png").arg(i % pictureCount));
    const double firstLoadMs = msSince(timer);
    const int entriesAdded = PictureCache::count() - entriesBefore;

    timer.restart();
    for (int i = 0; i < itemCount; ++i)
        items[size_t(i)]->loadPicture(QStringLiteral("bench_%1.png").arg(i % pictureCount));
    const double cachedLoadMs = msSince(timer);

    int scaledCopies = 0;
    for (int p = 0; p < pictureCount; ++p)
        for (const QSize &size : sizes)
            scaledCopies +=
                PictureCache::contains(QStringLiteral("bench_%1.png$%2x%3").arg(p).arg(size.width()).arg(size.height()))
                ? 1
                : 0;
    QSet<qint64> distinct;
    for (const auto &item : items)
        distinct.insert(item->picture().cacheKey());

    ItemText textItem(nullptr, nullptr);
    constexpr int texts = 500;
    timer.restart();
    for (int i = 0; i < texts; ++i)
        textItem.createText(QStringLiteral("Wert %1 °C").arg(i), false, false, 24, 0xFFFFFF);
    const double textFirstMs = msSince(timer);
    timer.restart();
    for (int i = 0; i < texts; ++i)
        textItem.createText(QStringLiteral("Wert %1 °C").arg(i), false, false, 24, 0xFFFFFF);
    const double textCachedMs = msSince(timer);
    textItem.createText(QStringLiteral("Wert 7 °C"), false, false, 24, 0xFFFFFF);
    const qint64 first = textItem.picture().cacheKey();
    textItem.createText(QStringLiteral("Wert 7 °C"), false, false, 24, 0xFFFFFF);
    const bool textShared = textItem.picture().cacheKey() == first;

    out << "items: " << itemCount << " sharing " << pictureCount << " pictures at " << 3 << " sizes\n";
    out << "creating the items: " << QString::number(createMs, 'f', 1) << " ms\n";
    out << "cache entries added by loading: " << entriesAdded << " (" << pictureCount << " pictures + " << scaledCopies
        << " scaled copies)\n";
    out << "distinct pictures drawn by the items: " << distinct.size() << "\n";
    out << "loadPicture, first pass: " << QString::number(firstLoadMs, 'f', 1) << " ms ("
        << QString::number(firstLoadMs * 1000 / itemCount, 'f', 2) << " us per item)\n";
    out << "loadPicture, cached:     " << QString::number(cachedLoadMs, 'f', 1) << " ms ("
        << QString::number(cachedLoadMs * 1000 / itemCount, 'f', 2) << " us per item)\n";
    out << "createText, new rendering: " << QString::number(textFirstMs * 1000 / texts, 'f', 2) << " us per text\n";
    out << "createText, cached:        " << QString::number(textCachedMs * 1000 / texts, 'f', 2) << " us per text\n";
    out << "same text twice shares one picture: " << (textShared ? "yes" : "no") << "\n";
    out.flush();
    return scaledCopies == pictureCount * 3 && textShared ? 0 : 1;
}
