#include "gui/window/mainwindow.h"
#include "tests/support/testsupport.h"

#include <QDirIterator>
#include <QImage>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

// The built panel under a real Wayland compositor: cage, on its X11 back-end
// in an Xvfb of the test's own, so that its output can change size (a screen
// plugged in) and grim sees what it shows. (On cage's headless back-end a
// client that covers the output exactly is scanned out, and grim gets black
// for any such client.) Cage refuses to run as root, so as root the test
// runs it as nobody.
class TestCompositor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void panelOnCage_data();
    void panelOnCage();

private:
    QProcess *start(const QString &program, const QStringList &arguments, bool asPanelUser = false);
    QImage screenshot();
    // Whether the shot shows the first page zoomed to `screen` with the corner buttons; why not.
    static QString fitProblem(const QImage &shot, const QSize &screen);
    void tap(const QPoint &at);
    bool waitFor(const std::function<bool()> &done, int msecs = 20000);

    QString dir;
    std::unique_ptr<QTemporaryDir> temporary;
    QList<QProcess *> processes;
    QString display;
    QString platform;
};

namespace {
const char *const tools[] = { "cage", "grim", "Xvfb", "xdotool", "xwininfo", "setpriv" };
const QSize landscape(1280, 720);
const QSize portrait(800, 1280);

bool red(QRgb c) { return qRed(c) > 180 && qGreen(c) < 80 && qBlue(c) < 80; }
bool black(QRgb c) { return qRed(c) < 8 && qGreen(c) < 8 && qBlue(c) < 8; }

// The share of pixels of `area` that differ between two shots, or that are
// black in one.
double changed(const QImage &a, const QImage &b, const QRect &area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += b.isNull() ? black(a.pixel(x, y)) : a.pixel(x, y) != b.pixel(x, y);
    return double(count) / (area.width() * area.height());
}
} // namespace

void TestCompositor::initTestCase()
{
    for (const char *tool : tools) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is missing (./panel.sh test installs it)").arg(tool)));
    }
}

void TestCompositor::cleanup()
{
    // Last started, first ended: the panel's compositor before its display.
    while (!processes.isEmpty()) {
        QProcess *process = processes.takeLast();
        process->kill();
        process->waitForFinished(5000);
        delete process;
    }
    // Without its compositor the panel ends by itself; a test that failed may leave it hanging.
    const int panel = readFile(dir + "/panel.pid").trimmed().toInt();
    if (panel > 0)
        ::kill(pid_t(panel), SIGKILL);
}

QProcess *TestCompositor::start(const QString &program, const QStringList &arguments, bool asPanelUser)
{
    auto *process = new QProcess;
    processes << process;
    process->setStandardErrorFile(dir + "/" + program + ".log", QIODevice::Append);
    QProcessEnvironment env;
    for (const char *name : { "PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS" })
        env.insert(name, qEnvironmentVariable(name));
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
    env.insert("HOME", dir);
    env.insert("XDG_RUNTIME_DIR", dir + "/run");
    env.insert("WAYLAND_DISPLAY", "wayland-0");
    env.insert("DISPLAY", display);
    env.insert("WLR_BACKENDS", "x11");
    env.insert("WLR_RENDERER", "pixman");
    env.insert("WLR_NO_HARDWARE_CURSORS", "1");
    env.insert("QALIX_BACKLIGHT_DIR", dir + "/backlight");
    env.insert("QT_QPA_PLATFORM", platform);
    process->setProcessEnvironment(env);
    if (asPanelUser && ::getuid() == 0)
        process->start("setpriv",
                       QStringList{ "--reuid=65534", "--regid=65534", "--clear-groups", program } + arguments);
    else
        process->start(program, arguments);
    return process;
}

QImage TestCompositor::screenshot()
{
    QProcess *grim = start("grim", { "-" }, true);
    grim->waitForFinished(10000);
    return QImage::fromData(grim->readAllStandardOutput()).convertToFormat(QImage::Format_RGB32);
}

QString TestCompositor::fitProblem(const QImage &shot, const QSize &screen)
{
    if (shot.size() != screen)
        return QStringLiteral("the output is %1 x %2").arg(shot.width()).arg(shot.height());
    const double zoom = MainWindow::zoomFactor(screen, 1024, 768);
    const QRect page(0, 0, int(1024 * zoom), int(768 * zoom));
    const MainWindow::ButtonPlacement buttons = MainWindow::buttonPlacement(screen);
    // Not connected, the connection button shows its red icon.
    bool iconRed = false;
    for (int x = buttons.connection.left(); x <= buttons.connection.right(); ++x)
        iconRed = iconRed || red(shot.pixel(x, buttons.connection.center().y()));
    if (!iconRed)
        return QStringLiteral("no connection button at %1,%2").arg(buttons.connection.x()).arg(buttons.connection.y());
    // Beside the zoomed page (right of it, or below it) only black.
    const QRect margin = screen.width() > screen.height()
        ? QRect(page.right() + 8, buttons.exit.bottom() + 3, screen.width() - page.width() - 10, 200)
        : QRect(0, page.bottom() + 8, screen.width(), screen.height() - page.height() - 10);
    for (int y = margin.top(); y <= margin.bottom(); y += 7)
        for (int x = margin.left(); x <= margin.right(); x += 7)
            if (!black(shot.pixel(x, y)))
                return QStringLiteral("not black beside the page at %1,%2").arg(x).arg(y);
    if (black(shot.pixel(page.right() - 5, page.center().y())))
        return QStringLiteral("no page as far as %1").arg(page.right());
    return QString();
}

void TestCompositor::tap(const QPoint &at)
{
    start("xdotool", { "mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1" })
        ->waitForFinished(5000);
}

bool TestCompositor::waitFor(const std::function<bool()> &done, int msecs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > msecs)
            return false;
        QTest::qWait(250);
    }
    return true;
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
    const QString panel = dir + "/app/qalix-plus-control";
    const QString power = dir + "/backlight/panel/bl_power";
    QVERIFY(writeFile(panel, readFile(QALIX_BUILD_DIR "/qalix-plus-control")));
    QVERIFY(QFile::setPermissions(panel, QFile::ReadOwner | QFile::ExeOwner));
    QVERIFY(writeFile(dir + "/app/projects/demo.qlxd", readFile(QALIX_BUILD_DIR "/projects/demo.qlxd")));
    QVERIFY(writeFile(power, "0\n") && QDir().mkpath(dir + "/run"));
    // The panel waits until the output has its size.
    QVERIFY(writeFile(dir + "/panel.sh",
                      "while [ ! -e \"$1/go\" ]; do sleep 0.1; done; echo $$ >\"$1/panel.pid\"\n"
                      "exec \"$1/app/qalix-plus-control\" -fullscreen -topmost -dim=6 -stale=1 "
                      "\"$1/app/projects/demo.qlxd\" >\"$1/out\" 2>\"$1/err\"\n"));
    QDirIterator all(dir, QDir::AllEntries | QDir::Hidden | QDir::NoDotDot, QDirIterator::Subdirectories);
    while (all.hasNext())
        QVERIFY(::lchown(QFile::encodeName(all.next()).constData(), 65534, 65534) == 0 || ::getuid() != 0);
    QVERIFY(::chmod(QFile::encodeName(dir + "/run").constData(), 0700) == 0);

    // Reachable only through its abstract socket, inside the test's network namespace.
    QProcess *xvfb = start("Xvfb", { "-displayfd", "1", "-screen", "0", "1400x1400x24", "-nolisten", "tcp",
                                     "-nolisten", "unix" });
    QVERIFY(waitFor([&] { return xvfb->canReadLine() || xvfb->state() == QProcess::NotRunning; }));
    display = ":" + xvfb->readLine().trimmed();
    QProcess *cage = start("cage", { "-d", "--", "sh", dir + "/panel.sh", dir }, true);
    // Cage's output is the root window's child.
    QString window;
    QVERIFY(waitFor([&] {
        QProcess *list = start("xwininfo", { "-root", "-children" });
        list->waitForFinished(5000);
        window = QRegularExpression("\\n\\s+(0x[0-9a-f]+) ").match(list->readAllStandardOutput()).captured(1);
        return !window.isEmpty();
    }));
    start("xdotool", { "windowsize", window, "1280", "720" })->waitForFinished(5000);
    QVERIFY(writeFile(dir + "/go", ""));

    QString why;
    QImage first;
    const auto fits = [&](const QSize &screen) {
        first = screenshot();
        why = fitProblem(first, screen);
        return why.isEmpty();
    };
    QVERIFY2(waitFor([&] { return fits(landscape); }, 60000), qPrintable(why + "\n" + readFile(dir + "/err")));
    const double zoom = MainWindow::zoomFactor(landscape, 1024, 768);
    // The page's title tells the pages apart; the hatching of stale items
    // may be drawn at another phase each time.
    const QRect title(0, 0, 600, 70);
    tap(QPoint(114, 254) * zoom); // the link to the second page
    QImage second;
    QVERIFY(waitFor([&] { second = screenshot(); return changed(first, second, title) > 0.05; }));

    // Dark after six seconds untouched; the waking touch presses nothing.
    QVERIFY(waitFor([&] { return readFile(power) == "4\n"; }));
    QVERIFY(changed(screenshot(), QImage(), QRect(QPoint(), landscape)) > 0.95);
    tap(QPoint(75, 705) * zoom); // the second page's link back
    QVERIFY(waitFor([&] { return readFile(power) == "0\n"; }, 5000));
    QTest::qWait(1000);
    QVERIFY(changed(screenshot(), second, title) < 0.01);

    // The options dialog (black, 400 x 300) opens where the compositor puts
    // it, and Escape closes it.
    const QRect page(0, 0, 950, 680);
    tap(MainWindow::buttonPlacement(landscape).options.center());
    QVERIFY(waitFor([&] { return changed(screenshot(), QImage(), page) > 0.1; }, 5000));
    start("xdotool", { "key", "Escape" })->waitForFinished(5000);
    QVERIFY(waitFor([&] { return changed(screenshot(), QImage(), page) < 0.01; }, 5000));

    // Another screen: the page is zoomed to it.
    start("xdotool", { "windowsize", window, "800", "1280" })->waitForFinished(5000);
    QVERIFY2(waitFor([&] { return fits(portrait); }), qPrintable(why));

    // Dark again, then the compositor goes: one line, and the backlight on.
    QVERIFY(waitFor([&] { return readFile(power) == "4\n"; }));
    cage->kill();
    QVERIFY2(waitFor([&] { return readFile(dir + "/err").contains(lost); }), readFile(dir + "/err").constData());
    QVERIFY(waitFor([&] { return readFile(power) == "0\n"; }, 5000));
    QVERIFY(!QFile::exists(dir + "/run/qalix-plus-control-backlight"));

    const QList<QByteArray> lines = readFile(dir + "/err").trimmed().split('\n');
    QCOMPARE(lines.size(), platform == "wayland" ? 3 : 2);
    QCOMPARE(lines.first().contains("-topmost has no effect on Wayland"), platform == "wayland");
    QVERIFY2(lines.at(lines.size() - 2).startsWith("Screen: now 800 x 1280"), lines.at(lines.size() - 2));
    QVERIFY(readFile(dir + "/out").startsWith("0 (\"Prototype\")\n"));
}

QTEST_MAIN(TestCompositor)
#include "tst_compositor.moc"
