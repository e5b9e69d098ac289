// Loading a large project: 20 pages of 250 items with 200 distinct 96 x 96
// pictures, its document in the designer's form (the document type line,
// written by a parsed document as the designer saves it, indented by one
// space or compact). Prints, beside decoding the same 200 pictures once (the
// floor, measured in every round):
// - as the operator sees it: the panel started as a program on the package,
//   from its start to the first page on screen, less the same for a project
//   of one item, as a ratio to the floor; its peak resident memory. Under
//   X11 (an Xvfb of its own) and with the offscreen platform, in the
//   environment the benchmark runs in, alternating the documents each round,
//   so that each starts as often where the folders hold other pictures (a
//   new project) as where they hold its own (the project started again);
// - in this process: the load to the first page painted, the switch to pages
//   not shown before, the peak memory.
//
//   build/bench/bench_load [--rounds=N] [--panel=PANEL] [--against=PANEL] [--packages=DIR]
//                          [pages] [items per page] [pictures]
//
// --panel=PANEL measures another program than the panel built beside the
// benchmark. --against=PANEL measures a second build of the panel the same
// way, the two in turn in every round, and only as the operator sees it.
// --packages=DIR only writes the three packages (one.qlxd, indented.qlxd,
// compact.qlxd) into DIR, for a profiler to run the panel on.

#include "bench/benchsupport.h"
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "gui/window/mainwindow.h"
#include "gui/window/projectloader.h"
#include "core/project/itemelement.h"
#include "core/package/projectdirectory.h"
#include "core/project/xmlelements.h"
#include "panelstart.h"

namespace {

constexpr int pictureEdge = 96;
constexpr int pageWidth = 1024;
constexpr int pageHeight = 768;

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

ItemElement component(int page, int index, int pictures)
{
    static const char *const kinds[] = {"StateButton", "StatePicture", "Picture",   "Button",
                                        "StateButton", "StatePicture", "StateText", "ADCText"};
    const int picture = (page * 250 + index) % pictures;
    ItemElement e;
    e.type = QLatin1String(kinds[index % 8]);
    e.x = (index % 16) * 64;
    e.y = (index / 16) * 48;
    e.w = 64;
    e.h = 48;
    e.record.imageActive = QStringLiteral("p%1.png").arg(picture);
    e.record.imageInactive = QStringLiteral("p%1.png").arg((picture + 1) % pictures);
    e.record.textActive = QStringLiteral("An");
    e.record.textInactive = QStringLiteral("Aus");
    e.record.fontSize = 16;
    e.record.digits = 1;
    e.record.port = QStringLiteral("ITM_Modul%1_OUT%2").arg(index % 50).arg(page);
    return e;
}

// The project document as the designer saves it: a parsed document of its
// type, written with one space per level (`indent` 1) or none (-1).
QByteArray designerDocument(int pages, int itemsPerPage, int pictures, int indent)
{
    QDomDocument doc(QStringLiteral("QalixPlusDesignerFile"));
    QDomElement root = doc.createElement(QStringLiteral("QalixPlusDesignerProject"));
    doc.appendChild(root);
    appendIntElement(doc, root, QStringLiteral("pagex"), pageWidth);
    appendIntElement(doc, root, QStringLiteral("pagey"), pageHeight);
    QDomElement connections = appendElement(doc, root, QStringLiteral("Connections"), QString());
    appendElement(doc, connections, QStringLiteral("host"), QStringLiteral("127.0.0.1"));
    appendElement(doc, connections, QStringLiteral("password"), QStringLiteral("demo"));
    appendIntElement(doc, connections, QStringLiteral("port"), 64401);
    appendElement(doc, connections, QStringLiteral("username"), QStringLiteral("demo"));
    QDomElement pageList = appendElement(doc, root, QStringLiteral("Pages"), QString());
    QStringList files;
    for (int p = 0; p < pages; ++p) {
        QDomElement page = appendElement(doc, pageList, QStringLiteral("page"), QString());
        appendElement(doc, page, QStringLiteral("name"), QStringLiteral("Seite %1").arg(p));
        appendElement(doc, page, QStringLiteral("id"), QStringLiteral("P%1").arg(p));
        appendIntElement(doc, page, QStringLiteral("w"), pageWidth);
        appendIntElement(doc, page, QStringLiteral("h"), pageHeight);
        appendElement(doc, page, QStringLiteral("background"), QLatin1String(""));
        QDomElement components = appendElement(doc, page, QStringLiteral("components"), QString());
        for (int i = 0; i < itemsPerPage; ++i) {
            QDomElement element = appendElement(doc, components, QStringLiteral("component"), QString());
            component(p, i, pictures).save(doc, element, files);
        }
    }
    return doc.toByteArray(indent);
}

// A package, written by hand in the container format.
bool writePackage(const QString &path, const QList<QPair<QString, QByteArray>> &entries)
{
    QByteArray package("SOH\nSOFAT\n");
    QByteArray data;
    for (const auto &entry : entries) {
        package += entry.first.toUtf8() + '|' + QByteArray::number(entry.second.size()) + '\n';
        data += entry.second;
    }
    package += "EOFAT\nEOH\n" + data;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(package) == package.size();
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double decodeOnce(const QList<QByteArray> &pngs)
{
    QElapsedTimer timer;
    timer.start();
    for (const QByteArray &png : pngs) {
        QPixmap pixmap;
        pixmap.loadFromData(png, "PNG");
    }
    return timer.nsecsElapsed() / 1e6;
}

// Figures of several rounds: the median, the lowest and the highest.
struct Spread
{
    std::vector<double> values;

    void add(double value) { values.push_back(value); }
    QString text(int decimals, const char *unit = "") const
    {
        if (values.empty())
            return QStringLiteral("-");
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        const auto number = [decimals](double v) { return QString::number(v, 'f', decimals); };
        return QStringLiteral("%1%4 (%2-%3)")
            .arg(number(sorted[sorted.size() / 2]), number(sorted.front()), number(sorted.back()), QLatin1String(unit));
    }
};

struct Form
{
    const char *name;
    QString package;
};

// One panel's figures as the operator sees them, by platform and form (the
// one-item project first). The ratios also by what the picture folders held
// before: the other document's package has the same pictures (a kiosk
// starting its project again), the one-item project other ones (a new
// project).
struct OperatorFigures
{
    Spread shownMs[2][3];
    Spread ratio[2][3];
    Spread ratioAfter[2][3][2]; // [platform][form][same pictures before]
    Spread peakMiB[2][3];
    Spread cpuMs[2][3];
    int lastForm = -1; // the panel's folder holds this form's pictures
};

// Starts `panel` on every form in turn, the one-item project among them;
// each ratio is against `floorMs`, measured in the same round.
void measureRound(PanelStart &panel, bool display, const Form (&forms)[3], int round, double floorMs,
                  OperatorFigures *figures, QStringList *failures)
{
    for (const int platform : {PanelStart::X11, PanelStart::Offscreen}) {
        if (platform == PanelStart::X11 && !display)
            continue;
        double ms[3] = {};
        bool samePictures[3] = {};
        // The one-item project first, then the two documents in turn: over
        // two rounds each document follows the one-item project's pictures
        // once and the other document's (the same pictures) once.
        const int order[2][3] = {{0, 1, 2}, {0, 2, 1}};
        for (int k = 0; k < 3; ++k) {
            const int f = order[(round + platform) % 2][k];
            samePictures[f] = f > 0 && figures->lastForm > 0;
            const PanelStart::Result result =
                panel.run(PanelStart::Platform(platform), forms[f].package, QSize(pageWidth, pageHeight));
            figures->lastForm = f;
            ms[f] = result.ms < 0 ? qQNaN() : result.ms;
            if (result.ms < 0) {
                *failures << QStringLiteral("%1, %2: %3")
                                 .arg(platform == PanelStart::X11 ? "X11" : "offscreen", forms[f].name, result.error);
                continue;
            }
            figures->shownMs[platform][f].add(result.ms);
            figures->peakMiB[platform][f].add(result.peakKiB / 1024.0);
            figures->cpuMs[platform][f].add(result.cpuMs);
        }
        for (int f = 1; f < 3; ++f) {
            if (qIsNaN(ms[0]) || qIsNaN(ms[f]))
                continue;
            figures->ratio[platform][f].add((ms[f] - ms[0]) / floorMs);
            figures->ratioAfter[platform][f][samePictures[f] ? 1 : 0].add((ms[f] - ms[0]) / floorMs);
        }
    }
}

void printOperatorFigures(QTextStream &out, const OperatorFigures &figures, const Form (&forms)[3], bool display,
                          const QString &displayProblem)
{
    for (const int platform : {PanelStart::X11, PanelStart::Offscreen}) {
        if (platform == PanelStart::X11 && !display) {
            out << "  X11: not measured, " << displayProblem << '\n';
            continue;
        }
        out << (platform == PanelStart::X11 ? "  X11 (Xvfb)" : "  offscreen") << ": one item "
            << figures.shownMs[platform][0].text(1, " ms") << ", peak " << figures.peakMiB[platform][0].text(1, " MiB")
            << ", processor " << figures.cpuMs[platform][0].text(1, " ms") << '\n';
        for (int f = 1; f < 3; ++f) {
            out << "    " << forms[f].name << ": " << figures.shownMs[platform][f].text(1, " ms")
                << "; ratio to the floor " << figures.ratio[platform][f].text(2) << " (target <= 2, aim 1.5); peak "
                << figures.peakMiB[platform][f].text(1, " MiB") << " (target <= 64, aim 48); processor "
                << figures.cpuMs[platform][f].text(1, " ms") << '\n';
            out << "      ratio after other pictures (a new project) " << figures.ratioAfter[platform][f][0].text(2)
                << ", after the same pictures (started again) " << figures.ratioAfter[platform][f][1].text(2) << '\n';
        }
    }
}

// In this process: the load, the first page painted, pages not shown before.
bool measureInProcess(QTextStream &out, const QString &package, int pageCount)
{
    QDir().mkpath(projectDirectory());
    const QString path = projectDirectory() + QLatin1String("bench_load.qlxd");
    QFile::remove(path);
    if (!QFile::copy(package, path))
        return false;
    const long baseKb = peakKilobytes();
    QElapsedTimer timer;
    timer.start();
    MainWindow window;
    if (!window.loadProject(path))
        return false;
    const double loadMs = timer.nsecsElapsed() / 1e6;
    window.show();
    const QImage shown = window.grab().toImage();
    const double shownMs = timer.nsecsElapsed() / 1e6;
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
            return false;
    }
    out << "In this process (indented):\n";
    out << "  loadProject:                " << QString::number(loadMs, 'f', 2) << " ms\n";
    out << "  load to first page painted: " << QString::number(shownMs, 'f', 2) << " ms\n";
    out << "  switch to a new page:       " << switched.join(QStringLiteral(", ")) << "; worst "
        << QString::number(worstSwitchMs, 'f', 2) << " ms (target <= 50)\n";
    out << "  peak memory (maxrss):       " << peakKilobytes() / 1024 << " MiB (before loading " << baseKb / 1024
        << " MiB)\n";
    QFile::remove(path);
    return !shown.isNull();
}

} // namespace

int main(int argc, char *argv[])
{
    // The figures in this process must not depend on a display; the panels
    // started get the caller's environment with the platform each run names.
    const QByteArray callerPlatform = qgetenv("QT_QPA_PLATFORM");
    if (callerPlatform.isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (callerPlatform.isEmpty())
        qunsetenv("QT_QPA_PLATFORM");
    quietLogging(false);
    QStringList args = app.arguments().mid(1);
    int rounds = 5;
    QString packagesOnly;
    QString against;
    QString panelPath = QCoreApplication::applicationDirPath() + QStringLiteral("/../qalix-plus-control");
    for (const QString &arg : args) {
        if (arg.startsWith(QLatin1String("--panel=")))
            panelPath = arg.mid(8);
        else if (arg.startsWith(QLatin1String("--rounds=")))
            rounds = qMax(1, arg.mid(9).toInt());
        else if (arg.startsWith(QLatin1String("--packages=")))
            packagesOnly = arg.mid(11);
        else if (arg.startsWith(QLatin1String("--against=")))
            against = arg.mid(10);
    }
    args.erase(
        std::remove_if(args.begin(), args.end(), [](const QString &a) { return a.startsWith(QLatin1String("--")); }),
        args.end());
    const int pageCount = args.size() > 0 ? args.at(0).toInt() : 20;
    const int itemsPerPage = args.size() > 1 ? args.at(1).toInt() : 250;
    const int pictureCount = args.size() > 2 ? args.at(2).toInt() : 200;
    QTextStream out(stdout);
    ProjectLoader::showMessage = [&out](const QString &text) { out << "message: " << text << '\n'; };

    QList<QPair<QString, QByteArray>> pictures;
    QList<QByteArray> pngs;
    for (int i = 0; i < pictureCount; ++i) {
        pngs << picture(i);
        pictures << qMakePair(QStringLiteral("icons/p%1.png").arg(i), pngs.last());
    }
    const QByteArray indented = designerDocument(pageCount, itemsPerPage, pictureCount, 1);
    const QByteArray compact = designerDocument(pageCount, itemsPerPage, pictureCount, -1);
    QTemporaryDir packageDir;
    const QString packages = (packagesOnly.isEmpty() ? packageDir.path() : packagesOnly) + QLatin1Char('/');
    QDir().mkpath(packages);
    const Form forms[3] = {{"one item", packages + QStringLiteral("one.qlxd")},
                           {"indented", packages + QStringLiteral("indented.qlxd")},
                           {"compact", packages + QStringLiteral("compact.qlxd")}};
    using Entries = QList<QPair<QString, QByteArray>>;
    if (!writePackage(forms[0].package, {pictures.first(), {"project", designerDocument(1, 1, 1, 1)}})
        || !writePackage(forms[1].package, pictures + Entries{{"project", indented}})
        || !writePackage(forms[2].package, pictures + Entries{{"project", compact}})) {
        out << "the packages cannot be written below " << packages << '\n';
        return 1;
    }
    if (!packagesOnly.isEmpty())
        return 0;

    out << "project: " << pageCount << " pages of " << itemsPerPage << " items, " << pictureCount << " pictures of "
        << pictureEdge << "x" << pictureEdge << "; the designer's document, " << indented.size() / 1024
        << " KiB indented, " << compact.size() / 1024 << " KiB compact\n";
    for (const char *variable : {"QT_XCB_GL_INTEGRATION", "QT_WAYLAND_CLIENT_BUFFER_INTEGRATION", "QT_LOGGING_RULES",
                                 "QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE"}) {
        if (qEnvironmentVariableIsSet(variable))
            out << "note: " << variable << " is set, so the panels started are not in the default environment\n";
    }
    out.flush();

    // As the operator sees it, round by round, the documents and the panels
    // in turn.
    std::vector<std::unique_ptr<PanelStart>> panels;
    panels.push_back(std::make_unique<PanelStart>(panelPath));
    if (!against.isEmpty())
        panels.push_back(std::make_unique<PanelStart>(against));
    QString displayProblem;
    bool display = true;
    for (auto &panel : panels)
        display = display && panel->startDisplay(&displayProblem);
    Spread floor;
    std::vector<OperatorFigures> figures(panels.size());
    QStringList failures;
    for (int round = 0; round < rounds; ++round) {
        floor.add(decodeOnce(pngs));
        for (size_t k = 0; k < panels.size(); ++k) {
            const size_t n = (k + size_t(round)) % panels.size();
            measureRound(*panels[n], display, forms, round, floor.values.back(), &figures[n], &failures);
        }
    }
    for (const QString &failure : std::as_const(failures))
        out << "failed: " << failure << '\n';
    out << "decode pictures once (the floor): " << floor.text(2, " ms") << "; median (lowest-highest) of " << rounds
        << " rounds\n";
    out << "As the operator sees it: the program's start to the first page on screen, less a one-item project's\n";
    for (size_t n = 0; n < panels.size(); ++n) {
        if (panels.size() > 1)
            out << (n == 0 ? panelPath : against) << ":\n";
        printOperatorFigures(out, figures[n], forms, display, displayProblem);
    }
    out.flush();
    if (!against.isEmpty())
        return failures.isEmpty() ? 0 : 1;

    const bool shown = measureInProcess(out, forms[1].package, pageCount);
    out.flush();
    return shown && failures.isEmpty() ? 0 : 1;
}
