// Loading a large project: 20 pages of 250 items with 200 distinct 96 x 96
// pictures. Prints, side by side with decoding the same 200 pictures once
// (the floor), the time from the start of the load to the first page
// painted, the switch to pages not shown before, and the peak memory of the
// process.
//
//   build/bench/bench_load [pages] [items per page] [pictures]

#include <QApplication>
#include <QLoggingCategory>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTextStream>

#include <sys/resource.h>
#include <utility>

#include "gui/window/mainwindow.h"
#include "gui/window/projectloader.h"
#include "core/storage/projectdirectory.h"

namespace {

constexpr int pictureEdge = 96;

QByteArray picture(int index)
{
    // Distinct content per picture, so that no two compress alike.
    QImage image(pictureEdge, pictureEdge, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor::fromHsv((index * 37) % 360, 200, 230));
    painter.drawEllipse(4 + index % 8, 4 + index % 5, pictureEdge - 12 - index % 8, pictureEdge - 12 - index % 5);
    painter.drawText(QRect(0, 0, pictureEdge, pictureEdge), Qt::AlignCenter, QString::number(index));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString component(int page, int index, int pictures)
{
    static const char *const kinds[] = {"StateButton", "StatePicture", "Picture", "Button",
                                        "StateButton", "StatePicture", "StateText", "ADCText"};
    const char *kind = kinds[index % 8];
    const int picture = (page * 250 + index) % pictures;
    const int x = (index % 16) * 64;
    const int y = (index / 16) * 48;
    return QStringLiteral("<component><x>%1</x><y>%2</y><w>64</w><h>48</h>"
                          "<image_active>p%3.png</image_active><image_inactive>p%4.png</image_inactive>"
                          "<image_unknown></image_unknown><text_active>BASE64_QW4=</text_active>"
                          "<text_inactive>BASE64_QXVz</text_inactive><text_error>BASE64_</text_error>"
                          "<text_bold>0</text_bold><text_italic>0</text_italic><text_color>16777215</text_color>"
                          "<font_size>16</font_size><digits>1</digits><page_id></page_id>"
                          "<port>ITM_Modul%5_OUT%6</port><type>%7</type></component>")
        .arg(x)
        .arg(y)
        .arg(picture)
        .arg((picture + 1) % pictures)
        .arg(index % 50)
        .arg(page)
        .arg(QLatin1String(kind));
}

long peakKilobytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const QStringList args = app.arguments();
    const int pageCount = args.size() > 1 ? args.at(1).toInt() : 20;
    const int itemsPerPage = args.size() > 2 ? args.at(2).toInt() : 250;
    const int pictureCount = args.size() > 3 ? args.at(3).toInt() : 200;
    QTextStream out(stdout);
    ProjectLoader::showMessage = [&out](const QString &text) { out << "message: " << text << '\n'; };

    // The package, written by hand in the container format.
    QList<QPair<QString, QByteArray>> entries;
    QList<QByteArray> pngs;
    for (int i = 0; i < pictureCount; ++i) {
        pngs << picture(i);
        entries << qMakePair(QStringLiteral("icons/p%1.png").arg(i), pngs.last());
    }
    QString document = QStringLiteral("<QalixPlusDesignerProject><pagex>1024</pagex><pagey>768</pagey>"
                                      "<Connections><host>127.0.0.1</host></Connections><Pages>");
    for (int p = 0; p < pageCount; ++p) {
        document += QStringLiteral("<page><name>Seite %1</name><id>P%1</id><background></background><components>")
                        .arg(p);
        for (int i = 0; i < itemsPerPage; ++i)
            document += component(p, i, pictureCount);
        document += QStringLiteral("</components></page>");
    }
    document += QStringLiteral("</Pages></QalixPlusDesignerProject>");
    entries << qMakePair(QStringLiteral("project"), document.toUtf8());

    QByteArray package("SOH\nSOFAT\n");
    QByteArray data;
    for (const auto &entry : entries) {
        package += entry.first.toUtf8() + '|' + QByteArray::number(entry.second.size()) + '\n';
        data += entry.second;
    }
    package += "EOFAT\nEOH\n" + data;
    QDir().mkpath(projectDirectory());
    const QString path = projectDirectory() + QLatin1String("bench_load.qlxd");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(package) != package.size())
        return 1;
    file.close();

    // Reference: decoding the same pictures once.
    QElapsedTimer timer;
    timer.start();
    qint64 pixels = 0;
    for (const QByteArray &png : std::as_const(pngs)) {
        QPixmap pixmap;
        pixmap.loadFromData(png, "PNG");
        pixels += pixmap.width() * pixmap.height();
    }
    const double decodeMs = timer.nsecsElapsed() / 1e6;
    // The same, keeping every picture as a load must: the memory for the
    // pixels is new, not the one the previous picture just gave back.
    timer.restart();
    {
        QList<QPixmap> kept;
        for (const QByteArray &png : std::as_const(pngs)) {
            QPixmap pixmap;
            pixmap.loadFromData(png, "PNG");
            kept << pixmap;
        }
    }
    const double decodeKeptMs = timer.nsecsElapsed() / 1e6;
    const long baseKb = peakKilobytes();

    timer.restart();
    MainWindow window;
    if (!window.loadProject(path))
        return 1;
    const double loadMs = timer.nsecsElapsed() / 1e6;
    window.show();
    // The first page painted once.
    const QImage shown = window.grab().toImage();
    const double shownMs = timer.nsecsElapsed() / 1e6;

    // Switching to pages not shown before, each painted once.
    double worstSwitchMs = 0;
    QStringList switched;
    for (int p : {pageCount / 3, pageCount / 2, pageCount - 1}) {
        if (p <= 0)
            continue;
        timer.restart();
        window.onChangePort(QStringLiteral("PAGE_P%1").arg(p));
        const QImage page = window.grab().toImage();
        const double ms = timer.nsecsElapsed() / 1e6;
        worstSwitchMs = qMax(worstSwitchMs, ms);
        switched << QStringLiteral("P%1 %2 ms").arg(p).arg(ms, 0, 'f', 2);
        if (page.isNull())
            return 1;
    }

    out << "project: " << pageCount << " pages of " << itemsPerPage << " items, " << pictureCount
        << " pictures of " << pictureEdge << "x" << pictureEdge << " (" << pixels << " pixels decoded)\n";
    out << "decode pictures once:      " << QString::number(decodeMs, 'f', 2) << " ms (the floor)\n";
    out << "loadProject:               " << QString::number(loadMs, 'f', 2) << " ms\n";
    out << "start to first page shown: " << QString::number(shownMs, 'f', 2) << " ms\n";
    out << "ratio to decoding:         " << QString::number(shownMs / decodeMs, 'f', 1) << " (target <= 4, aim 2)\n";
    out << "decoding, pictures kept:   " << QString::number(decodeKeptMs, 'f', 2) << " ms; ratio "
        << QString::number(shownMs / decodeKeptMs, 'f', 1) << "\n";
    out << "switch to a new page:      " << switched.join(QStringLiteral(", ")) << "; worst "
        << QString::number(worstSwitchMs, 'f', 2) << " ms (target <= 50)\n";
    out << "peak memory (maxrss):      " << peakKilobytes() / 1024 << " MiB (before loading "
        << baseKb / 1024 << " MiB; target <= 150)\n";
    out.flush();
    return shown.isNull() ? 1 : 0;
}
