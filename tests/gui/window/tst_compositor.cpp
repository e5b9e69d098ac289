#include "gui/window/mainwindow.h"
#include "tests/support/testsupport.h"
#include "tests/support/unprivileged.h"

#include <QImage>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

// The built panel under a real Wayland compositor: cage, on its X11 back-end
// in an Xvfb of the test's own, so that its output can change size (a screen
// plugged in) and grim sees what it shows (on the headless back-end grim
// gets black for any window that covers the output).
class TestCompositor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void panelOnCage_data();
    void panelOnCage();

private:
    QProcess *start(const QString &program, const QStringList &arguments, bool unprivileged = false);

    std::unique_ptr<QTemporaryDir> temporary;
    QString dir;
    QString display;
    QString platform;
    QList<QProcess *> processes;
};

namespace {
const QSize landscape(1280, 720);

bool black(QRgb c)
{
    return qRed(c) < 8 && qGreen(c) < 8 && qBlue(c) < 8;
}

// The share of pixels of `area` that differ between two shots, or that are black in one.
double changed(const QImage &a, const QImage &b, const QRect &area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += b.isNull() ? black(a.pixel(x, y)) : a.pixel(x, y) != b.pixel(x, y);
    return double(count) / (area.width() * area.height());
}

// Why the shot does not show the first page zoomed to `screen`, with the corner buttons.
QString fitProblem(const QImage &shot, const QSize &screen)
{
    const double zoom = MainWindow::zoomFactor(screen, 1024, 768);
    const QRect page(0, 0, int(1024 * zoom), int(768 * zoom));
    const QRect button = MainWindow::buttonPlacement(screen).connection;
    const auto red = [&](int x, int y) { return qRed(shot.pixel(x, y)) > 150 && qGreen(shot.pixel(x, y)) < 80; };
    // Not connected: the connection button's red icon, and the banner along the page's bottom.
    bool icon = false;
    for (int x = button.left(); x <= button.right(); ++x)
        icon = icon || red(x, button.center().y());
    // Beside the zoomed page (right of it, or below it) only black.
    const QRect margin = screen.width() > screen.height()
        ? QRect(page.right() + 8, button.bottom() + 3, screen.width() - page.width() - 10, 200)
        : QRect(0, page.bottom() + 8, screen.width(), screen.height() - page.height() - 10);
    if (shot.size() != screen)
        return QStringLiteral("the output is %1 x %2").arg(shot.width()).arg(shot.height());
    if (!icon || !red(12, page.bottom() - 12))
        return QStringLiteral("no connection button at %1,%2 or no banner").arg(button.x()).arg(button.y());
    if (changed(shot, QImage(), margin) < 1)
        return QStringLiteral("the page is not %1 x %2, or not black beside it").arg(page.width()).arg(page.height());
    return QString();
}
} // namespace

void TestCompositor::initTestCase()
{
    for (const char *tool : {"cage", "grim", "Xvfb", "xdotool", "xwininfo", "setpriv"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is missing (./panel.sh test installs it)").arg(tool)));
    }
}

void TestCompositor::cleanup()
{
    // The compositor before its display; the panel ends without its compositor.
    std::for_each(processes.rbegin(), processes.rend(), [](QProcess *process) { delete process; });
    processes.clear();
    if (const int panel = readFile(dir + "/panel.pid").trimmed().toInt())
        ::kill(pid_t(panel), SIGKILL);
}

QProcess *TestCompositor::start(const QString &program, const QStringList &arguments, bool unprivileged)
{
    auto *process = new QProcess;
    processes << process;
    process->setStandardErrorFile(dir + "/" + program + ".log", QIODevice::Append);
    // A cursor the compositor draws itself keeps it from handing the panel's
    // buffer to the output directly, which would hide later frames from grim.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &setting : QStringList{
             "HOME=" + dir, "XDG_RUNTIME_DIR=" + dir + "/run", "WAYLAND_DISPLAY=wayland-0", "DISPLAY=" + display,
             "WLR_BACKENDS=x11", "WLR_RENDERER=pixman", "WLR_NO_HARDWARE_CURSORS=1",
             "QALIX_BACKLIGHT_DIR=" + dir + "/backlight", "QT_QPA_PLATFORM=" + platform, "ASAN_OPTIONS=detect_leaks=0"})
        env.insert(setting.section('=', 0, 0), setting.section('=', 1));
    process->setProcessEnvironment(env);
    if (unprivileged)
        startUnprivileged(*process, program, arguments);
    else
        process->start(program, arguments);
    return process;
}

void TestCompositor::panelOnCage_data()
{
    QTest::addColumn<QString>("qpa");
    QTest::addColumn<QByteArray>("lost"); // the line when the compositor goes
    QTest::newRow("Wayland") << "wayland" << QByteArray("The Wayland connection broke");
    QTest::newRow("X11 through Xwayland") << "xcb" << QByteArray("The X11 connection broke");
}

void TestCompositor::panelOnCage()
{
    QFETCH(QString, qpa);
    QFETCH(QByteArray, lost);
    platform = qpa;
    temporary = std::make_unique<QTemporaryDir>();
    dir = temporary->path();
    const QString power = dir + "/backlight/panel/bl_power";
    QVERIFY(writeFile(dir + "/app/qalix-plus-control", readFile(QALIX_BUILD_DIR "/qalix-plus-control")));
    QVERIFY(QFile::setPermissions(dir + "/app/qalix-plus-control", QFile::ReadOwner | QFile::ExeOwner));
    QVERIFY(writeFile(dir + "/app/projects/demo.qlxd", readFile(QALIX_BUILD_DIR "/projects/demo.qlxd")));
    QVERIFY(writeFile(power, "0\n") && QDir().mkpath(dir + "/run"));
    // The panel waits until the output has its size.
    QVERIFY(writeFile(dir + "/panel.sh",
                      "while [ ! -e \"$1/go\" ]; do sleep 0.1; done; echo $$ >\"$1/panel.pid\"\n"
                      "exec \"$1/app/qalix-plus-control\" -fullscreen -topmost -dim=6 -home=3600 -stale=1 "
                      "\"$1/app/projects/demo.qlxd\" >\"$1/out\" 2>\"$1/err\"\n"));
    QVERIFY(handToUnprivileged(dir) && ::chmod(QFile::encodeName(dir + "/run").constData(), 0700) == 0);

    // Reachable only through its abstract socket, inside the test's network namespace.
    QProcess *xvfb =
        start("Xvfb", {"-displayfd", "1", "-screen", "0", "1400x1400x24", "-nolisten", "tcp", "-nolisten", "unix"});
    QVERIFY(QTest::qWaitFor([&] { return xvfb->canReadLine() || xvfb->state() == QProcess::NotRunning; }));
    display = ":" + xvfb->readLine().trimmed();
    QProcess *cage = start("cage", {"-d", "--", "sh", dir + "/panel.sh", dir}, true);
    QString window; // cage's output: the root window's child
    QVERIFY(QTest::qWaitFor(
        [&] {
            QProcess *list = start("xwininfo", {"-root", "-children"});
            list->waitForFinished(5000);
            window = QRegularExpression("\\n\\s+(0x[0-9a-f]+) ").match(list->readAllStandardOutput()).captured(1);
            return !window.isEmpty();
        },
        20000));
    const auto xdotool = [&](const QStringList &arguments) { start("xdotool", arguments)->waitForFinished(5000); };
    const auto screenshot = [&] {
        QProcess *grim = start("grim", {"-"}, true);
        grim->waitForFinished(10000);
        return QImage::fromData(grim->readAllStandardOutput()).convertToFormat(QImage::Format_RGB32);
    };
    const auto tap = [&](const QPoint &at) {
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
    };
    xdotool({"windowsize", window, "1280", "720"});
    QVERIFY(writeFile(dir + "/go", ""));

    QString why;
    QImage first;
    const auto fits = [&](const QSize &screen) { return (why = fitProblem(first = screenshot(), screen)).isEmpty(); };
    QVERIFY2(QTest::qWaitFor([&] { return fits(landscape); }, 60000), qPrintable(why + '\n' + readFile(dir + "/err")));
    const double zoom = MainWindow::zoomFactor(landscape, 1024, 768);
    // The page's title tells the pages apart; the hatching of stale items
    // may be drawn at another phase each time.
    const QRect title(0, 0, 600, 70);
    tap(QPoint(114, 254) * zoom); // the link to the second page
    QVERIFY(QTest::qWaitFor([&] { return changed(first, screenshot(), title) > 0.05; }, 20000));

    // Dark after six seconds untouched, with the first page put in place;
    // the waking touch, on its link, presses nothing.
    QVERIFY(QTest::qWaitFor([&] { return readFile(power) == "4\n"; }, 20000));
    QVERIFY(QTest::qWaitFor([&] { return changed(screenshot(), QImage(), QRect(QPoint(), landscape)) > 0.95; }, 5000));
    tap(QPoint(114, 254) * zoom);
    QVERIFY(QTest::qWaitFor([&] { return readFile(power) == "0\n"; }, 5000));
    QTest::qWait(1000);
    QVERIFY(QTest::qWaitFor([&] { return changed(screenshot(), first, title) < 0.01; }, 5000));

    // Another screen: the page is zoomed to it.
    xdotool({"windowsize", window, "800", "1280"});
    QVERIFY2(QTest::qWaitFor([&] { return fits(QSize(800, 1280)); }, 20000), qPrintable(why));

    // The compositor goes: one line, and the panel ends (the backlight on
    // first: tst_wallrules).
    cage->kill();
    QVERIFY2(QTest::qWaitFor([&] { return readFile(dir + "/err").contains(lost); }, 20000), readFile(dir + "/err"));
    const pid_t panel = pid_t(readFile(dir + "/panel.pid").trimmed().toInt());
    QVERIFY(QTest::qWaitFor([&] { return ::kill(panel, 0) != 0; }, 20000));

    const QList<QByteArray> lines = readFile(dir + "/err").trimmed().split('\n');
    // No message server: said once, however often the panel tried.
    QVERIFY2(lines.size() == (platform == "wayland" ? 4 : 3)
                 && lines.count("Message server 127.0.0.1:64401 not reachable: Connection refused") == 1,
             readFile(dir + "/err"));
    QCOMPARE(lines.first().contains("-topmost has no effect on Wayland"), platform == "wayland");
    QVERIFY2(lines.at(lines.size() - 2).startsWith("Screen: now 800 x 1280"), lines.at(lines.size() - 2));
    // Only the information lines on standard output, the font's first.
    QVERIFY(readFile(dir + "/out").startsWith("0 (\"Prototype\")\nCreate Text "));
}

QTEST_MAIN(TestCompositor)
#include "tst_compositor.moc"
