#include "gui/window/startup.h"
#include "tests/support/testsupport.h"

#include <QtTest>

#include <sys/stat.h>

#ifdef QALIX_HAVE_X11
#include <X11/Xlib.h>
#endif

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void groupSharing_data();
    void groupSharing();
    // That the built panel prints only its information lines is checked
    // under a compositor (tst_compositor).
    void panelFailsLoudlyWithoutProjectsDirectory();
    void panelWithoutDisplaySaysWhy();
    void panelLoadsNoGLDriver();
    void lockHoldsAgainstTheWindowManager();

private:
    // Starts a copy of the built panel in dir with one argument, by default
    // a package that is not there, offscreen; `env` may change that.
    bool startPanel(QProcess &process, const QTemporaryDir &dir, const QString &package = QString(),
                    const std::function<void(QProcessEnvironment &)> &env = {}, const QStringList &switches = {});
    // An Xvfb of the test's own; its display, empty when none started.
    QString startXvfb(QProcess &server);
    // The GL driver's libraries the panel maps once its page is shown on
    // `display`, with the user's QT_XCB_GL_INTEGRATION (unset when null).
    // `started` says whether the panel ran at all.
    QStringList glDriverAfterStart(const QString &display, const QByteArray &integration, bool *started);
};

bool TestStartup::startPanel(QProcess &process, const QTemporaryDir &dir, const QString &package,
                             const std::function<void(QProcessEnvironment &)> &change, const QStringList &switches)
{
    const QString copy = dir.filePath("qalix-plus-control");
    if (!QFile::exists(copy) && !QFile::copy(QStringLiteral(QALIX_BUILD_DIR "/qalix-plus-control"), copy))
        return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // Only the log handler may keep debug lines away from the output.
    env.remove("QT_LOGGING_RULES");
    // A sanitizer build must not add its own report to the output checked here.
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    if (change)
        change(env);
    process.setProcessEnvironment(env);
    process.start(copy, switches + QStringList{package.isEmpty() ? dir.filePath("nonexistent.qlxd") : package});
    return process.waitForStarted();
}

QString TestStartup::startXvfb(QProcess &server)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QString asked = QStringLiteral(":%1").arg(50 + QRandomGenerator::global()->bounded(50));
        server.start(QStringLiteral("Xvfb"),
                     {asked, "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"});
        if (!server.waitForStarted(10000))
            return QString();
        // It names the display once it serves it; one taken ends it.
        if (server.waitForReadyRead(10000))
            return QLatin1Char(':') + QString::fromLatin1(server.readAllStandardOutput().trimmed());
        server.kill();
        server.waitForFinished();
    }
    return QString();
}

void TestStartup::groupSharing_data()
{
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<bool>("groupWritable"); // what the panel then makes there

    QTest::newRow("group-writable folder") << 0775 << true;
    QTest::newRow("private folder") << 0755 << false;
}

// A second member of the group must be able to replace what the first one's
// panel made: the probe file (or its panel would not start) and the folders.
void TestStartup::groupSharing()
{
    QFETCH(int, folderMode);
    QFETCH(bool, groupWritable);

    QTemporaryDir root;
    const QString projects = root.filePath("projects");
    QVERIFY(QDir().mkpath(projects));
    QVERIFY(::chmod(QFile::encodeName(projects).constData(), mode_t(folderMode)) == 0);
    const mode_t userMask = ::umask(022); // a user's usual mask
    shareProjectFilesWithGroup(projects);
    const bool probed = probeProjectDirectory(projects);
    const bool madeFolder = QDir(projects).mkpath("icons/project");
    ::umask(userMask);
    QVERIFY(probed && madeFolder);

    for (const char *made : {"testFile", "icons/project"}) {
        const QFileDevice::Permissions permissions = QFileInfo(projects + "/" + made).permissions();
        QVERIFY2(bool(permissions & QFileDevice::WriteGroup) == groupWritable, made);
    }
}

void TestStartup::panelFailsLoudlyWithoutProjectsDirectory()
{
    QTemporaryDir dir;
    // A file where the folder belongs: nothing can be created there, not even by root.
    QVERIFY(writeFile(dir.filePath("projects"), ""));
    QProcess process;
    QVERIFY(startPanel(process, dir));
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY(process.exitCode() != 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    const QList<QByteArray> lines = process.readAllStandardError().split('\n');
    QCOMPARE(lines.size(), 2); // one line and its line feed
    QVERIFY2(lines.first().contains(QFile::encodeName(dir.filePath("projects/"))), lines.first());
}

void TestStartup::panelWithoutDisplaySaysWhy()
{
    QTemporaryDir dir;
    QProcess process;
    QVERIFY(startPanel(process, dir, QString(), [](QProcessEnvironment &env) {
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", ":4711");
    }));
    QVERIFY(process.waitForFinished(30000));
    QVERIFY(process.exitStatus() == QProcess::CrashExit || process.exitCode() != 0);
    // Qt's fatal message and the plugin's reason before it, naming the
    // display, on standard error, whole; standard output keeps only the
    // information lines it always had.
    const QByteArray err = process.readAllStandardError();
    QVERIFY2(err.contains("platform plugin") && err.contains(":4711") && err.endsWith('\n'), err.constData());
    const QByteArray out = process.readAllStandardOutput();
    QVERIFY2(!out.contains(err.left(err.indexOf('\n'))), out.constData());
}

QStringList TestStartup::glDriverAfterStart(const QString &display, const QByteArray &integration, bool *started)
{
    QTemporaryDir dir;
    const QString package = dir.filePath("one.qlxd");
    const QByteArray document = "<r><pagex>320</pagex><pagey>200</pagey><Pages><page><components><c>"
                                "<w>100</w><h>20</h><text_active>An</text_active><type>Text</type>"
                                "</c></components></page></Pages></r>";
    QProcess process;
    *started = writePackage(package, {{"project", document}});
    *started = *started && startPanel(process, dir, package, [&](QProcessEnvironment &env) {
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", display);
        env.remove("QT_XCB_GL_INTEGRATION");
        if (!integration.isNull())
            env.insert("QT_XCB_GL_INTEGRATION", QString::fromLatin1(integration));
    });
    if (!*started)
        return {};
    // Its first page is made during the load, just before the window shows.
    QByteArray out;
    while (!out.contains("Create Text") && process.waitForReadyRead(30000))
        out += process.readAllStandardOutput();
    QStringList driver;
    QElapsedTimer shown;
    shown.start();
    while (driver.isEmpty() && shown.elapsed() < 1500) {
        QTest::qWait(100);
        QFile maps(QStringLiteral("/proc/%1/maps").arg(process.processId()));
        if (!maps.open(QIODevice::ReadOnly))
            break;
        for (const QByteArray &line : maps.readAll().split('\n')) {
            const QString path = QString::fromLocal8Bit(line.mid(line.indexOf('/')));
            // Mesa's driver and Qt's integrations that load it; not the GL
            // dispatch libraries Debian's Qt Gui links.
            for (const char *part : {"libLLVM", "/dri/", "_mesa", "libglapi", "glintegration"}) {
                if (line.contains('/') && path.contains(QLatin1String(part)) && !driver.contains(path))
                    driver << path;
            }
        }
    }
    process.kill();
    process.waitForFinished(30000);
    return driver;
}

// The panel draws with the raster engine only: its start on X11 maps no GL
// driver, unless the user asks for the GL integration.
void TestStartup::panelLoadsNoGLDriver()
{
    QProcess server;
    const QString display = startXvfb(server);
    QVERIFY2(!display.isEmpty(), "no Xvfb display could be started");

    bool started = false;
    const QStringList asked = glDriverAfterStart(display, "xcb_glx", &started);
    QVERIFY(started);
    // Qt 6 loads the driver only for OpenGL windows, which the panel never makes.
    if (asked.isEmpty())
        QSKIP("no GL driver loads even when the panel is asked for one (no Mesa here, libgl1-mesa-dri, or a Qt "
              "that loads it only for OpenGL windows): nothing to turn off");
    const QStringList loaded = glDriverAfterStart(display, QByteArray(), &started);
    QVERIFY(started);
    QVERIFY2(loaded.isEmpty(), qPrintable(loaded.join(QLatin1Char(' '))));
    server.terminate();
    server.waitForFinished();
}

#ifdef QALIX_HAVE_X11
// The viewable windows of `height` (any, unless given) on a display of the
// test's own, where with no window manager they are the root's children.
static QList<Window> shown(Display *x, int height = 0)
{
    QList<Window> found;
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count);
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(x, children[i], &attributes) && attributes.map_state == IsViewable
            && (height == 0 || attributes.height == height))
            found << children[i];
    }
    XFree(children);
    return found;
}
#endif

// What labwc's Alt+F4 or a title bar's X sends, WM_DELETE_WINDOW, three
// times to a locked panel: the PIN pad shows, once, and the panel stays.
void TestStartup::lockHoldsAgainstTheWindowManager()
{
#ifndef QALIX_HAVE_X11
    QSKIP("built without Xlib");
#else
    QProcess server;
    const QString display = startXvfb(server);
    QVERIFY2(!display.isEmpty(), "no Xvfb display could be started");
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("pin"), "1234\n"));
    QVERIFY(writePackage(dir.filePath("one.qlxd"), {{"project", "<r><pagex>320</pagex><pagey>200</pagey></r>"}}));
    QProcess panel;
    const auto onDisplay = [&](QProcessEnvironment &env) {
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", display);
    };
    QVERIFY(startPanel(panel, dir, dir.filePath("one.qlxd"), onDisplay, {"-lock=" + dir.filePath("pin")}));
    Display *x = XOpenDisplay(display.toLatin1().constData());
    QVERIFY(x);
    XSetErrorHandler([](Display *, XErrorEvent *) { return 0; }); // a window closed already
    // The main window, of the page's height, once the progress dialog is gone.
    QTRY_VERIFY_WITH_TIMEOUT(shown(x, 200).size() == 1 && shown(x).size() == 1, 30000);
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = shown(x).first();
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(x, "WM_DELETE_WINDOW", False));
    for (int i = 0; i < 3; ++i)
        XSendEvent(x, event.xclient.window, False, NoEventMask, &event);
    XFlush(x);
    QTRY_COMPARE_WITH_TIMEOUT(shown(x).size(), 2, 10000);
    QVERIFY(!panel.waitForFinished(1500));
    panel.kill();
    panel.waitForFinished();
    XCloseDisplay(x);
    server.terminate();
    server.waitForFinished();
#endif
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
