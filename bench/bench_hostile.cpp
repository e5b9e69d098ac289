// Hostile packages, as an attacker who can hand the panel a file makes them:
// the panel started as a program on each, offscreen, and its peak resident
// memory until its page is shown (or its box, for a package it refuses),
// beside a sound package of one page. Each is small on disk and asks for
// gigabytes or the process's life:
// - a PNG of 20000 x 20000 pixels (one colour, so a few hundred kilobytes);
// - a JPEG whose header declares 23000 x 23000 pixels (a kilobyte);
// - a page of 30000 x 30000 pixels, shown windowed;
// - a Text, a Picture and a Button at x = y = -2^31, w = h = 2^31 - 1;
// - 100 texts at font size 100, each as wide as a text is drawn;
// - a header line of 200 MiB without its line feed.
//
//   build/bench/bench_hostile [--panel=PANEL]

#include "bench/benchsupport.h"
#include "panelstart.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

namespace {

QByteArray saved(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A JPEG of 8 x 8 pixels whose frame header says `side` x `side`.
QByteArray declaringJpeg(int side)
{
    QByteArray bytes = saved(QImage(8, 8, QImage::Format_RGB32), "JPEG");
    const int frame = bytes.indexOf("\xff\xc0");
    for (const int at : {frame + 5, frame + 7}) {
        bytes[at] = char(side >> 8);
        bytes[at + 1] = char(side);
    }
    return bytes;
}

QByteArray package(const QByteArray &header, const QList<QPair<QByteArray, QByteArray>> &entries)
{
    QByteArray table = "SOH\n" + header + "SOFAT\n";
    QByteArray data;
    for (const auto &entry : entries) {
        table += entry.first + '|' + QByteArray::number(entry.second.size()) + '\n';
        data += entry.second;
    }
    return table + "EOFAT\nEOH\n" + data;
}

QByteArray document(int pageX, int pageY, const QString &components)
{
    return QStringLiteral("<QalixPlusDesignerProject><pagex>%1</pagex><pagey>%2</pagey><Pages><page><id>A</id>"
                          "<components>%3</components></page></Pages></QalixPlusDesignerProject>")
        .arg(pageX)
        .arg(pageY)
        .arg(components)
        .toUtf8();
}

QString component(const QString &type, const QString &children)
{
    return QStringLiteral("<component>%1<type>%2</type></component>").arg(children, type);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QString panel = QCoreApplication::applicationDirPath() + QStringLiteral("/../qalix-plus-control");
    for (const QString &arg : app.arguments().mid(1)) {
        if (arg.startsWith(QLatin1String("--panel=")))
            panel = arg.mid(8);
    }
    QTemporaryDir dir;
    const QString picture = QStringLiteral("<w>100</w><h>100</h><image_active>p.png</image_active>");
    const QString ends = QStringLiteral("<x>-2147483648</x><y>-2147483648</y><w>2147483647</w><h>2147483647</h>"
                                        "<text_active>Hallo</text_active>");
    QString texts;
    for (int i = 0; i < 100; ++i) {
        texts += component(QStringLiteral("Text"),
                           QStringLiteral("<y>%1</y><font_size>100</font_size><text_active>%2"
                                          "</text_active>")
                               .arg(i * 7)
                               .arg(QString::number(i) + QString(1000, QLatin1Char('W'))));
    }
    QImage large(20000, 20000, QImage::Format_Mono);
    large.fill(0);
    const QList<QPair<QString, QByteArray>> cases{
        {QStringLiteral("sound: one picture of 100 x 100"),
         package({},
                 {{"icons/p.png", saved(QImage(100, 100, QImage::Format_RGB32), "PNG")},
                  {"project", document(800, 480, component(QStringLiteral("Picture"), picture))}})},
        {QStringLiteral("PNG of 20000 x 20000"),
         package({},
                 {{"icons/p.png", saved(large, "PNG")},
                  {"project", document(800, 480, component(QStringLiteral("Picture"), picture))}})},
        {QStringLiteral("JPEG declaring 23000 x 23000"),
         package({},
                 {{"icons/p.png", declaringJpeg(23000)},
                  {"project", document(800, 480, component(QStringLiteral("Picture"), picture))}})},
        {QStringLiteral("page of 30000 x 30000"), package({}, {{"project", document(30000, 30000, QString())}})},
        {QStringLiteral("items at the ends of int"),
         package({},
                 {{"project",
                   document(800, 480,
                            component(QStringLiteral("Text"), ends) + component(QStringLiteral("Picture"), ends)
                                + component(QStringLiteral("Button"), ends))}})},
        {QStringLiteral("100 texts at font size 100"), package({}, {{"project", document(800, 480, texts)}})},
        {QStringLiteral("header line of 200 MiB"),
         package("k:" + QByteArray(200 * 1024 * 1024, 'v'), {{"project", document(800, 480, QString())}})},
    };
    large = QImage();

    QTextStream out(stdout);
    out << "peak resident memory of the panel, offscreen, to its page or box shown:\n";
    PanelStart start(panel);
    for (const auto &hostile : cases) {
        const QString path = dir.filePath(QStringLiteral("hostile.qlxd"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(hostile.second) != hostile.second.size())
            return 1;
        file.close();
        const PanelStart::Result result = start.run(PanelStart::Offscreen, path, QSize(800, 480));
        out << "  " << qSetFieldWidth(32) << Qt::left << hostile.first << qSetFieldWidth(0) << " ";
        if (!result.error.isEmpty() && result.ms < 0)
            out << "(" << result.error << ") ";
        out << QString::number(double(result.peakKiB) / 1024, 'f', 0) << " MiB, package "
            << QString::number(double(hostile.second.size()) / 1024, 'f', 0) << " KiB\n";
        out.flush();
    }
    return 0;
}
