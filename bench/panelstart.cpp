#include "panelstart.h"

#include <QByteArrayList>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QRect>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// The X server's DAMAGE extension, spoken through xcb's extension interface:
// its own library is not among the build's packages.
xcb_extension_t damageExtension = {"DAMAGE", 0};

// Sends the DAMAGE request `minor` with its 32-bit words after the header
// (xcb puts the extension's opcode in); its sequence number.
unsigned damageRequest(xcb_connection_t *connection, uint8_t minor, std::vector<uint32_t> words, bool reply)
{
    const uint32_t header = uint32_t(minor) << 8 | uint32_t(words.size() + 1) << 16;
    words.insert(words.begin(), header);
    iovec parts[3] = {};
    parts[2] = {words.data(), words.size() * sizeof(uint32_t)};
    xcb_protocol_request_t request = {1, &damageExtension, minor, uint8_t(reply ? 0 : 1)};
    return xcb_send_request(connection, 0, parts + 2, &request);
}

struct DamageNotify
{
    uint8_t responseType;
    uint8_t level;
    uint16_t sequence;
    uint32_t drawable;
    uint32_t damage;
    uint32_t timestamp;
    int16_t x, y;
    uint16_t width, height;
    int16_t geometryX, geometryY;
    uint16_t geometryWidth, geometryHeight;
};

// Whether the process has ended; it stays to be waited for.
bool ended(pid_t pid)
{
    siginfo_t info{};
    return waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

// The peak resident memory of a running process.
long peakResidentKiB(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

double nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Whether the process's first thread sleeps in poll: Qt's event loop, with
// nothing to do. A poll of the progress dialog's event processing during the
// load never sleeps.
bool waitingInPoll(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const int end = line.lastIndexOf(')');
    if (end < 0 || end + 2 >= line.size() || line.at(end + 2) != 'S')
        return false;
    QFile call(QStringLiteral("/proc/%1/syscall").arg(pid));
    if (!call.open(QIODevice::ReadOnly))
        return false;
    const long number = call.readLine().split(' ').value(0).trimmed().toLong();
#ifdef SYS_poll
    if (number == SYS_poll)
        return true;
#endif
    return number == SYS_ppoll;
}

} // namespace

PanelStart::PanelStart(const QString &panel)
    : m_panel(m_dir.filePath(QStringLiteral("qalix-plus-control")))
{
    QFile::copy(panel, m_panel);
}

PanelStart::~PanelStart()
{
    if (m_connection)
        xcb_disconnect(m_connection);
    if (m_server > 0) {
        kill(m_server, SIGTERM);
        waitpid(m_server, nullptr, 0);
    }
}

bool PanelStart::startDisplay(QString *error)
{
    if (!QFileInfo(m_panel).isExecutable()) {
        *error = QStringLiteral("no panel at %1").arg(m_panel);
        return false;
    }
    // A display number of its own beside others' fixed ones (:0, :99, ...);
    // Xvfb names it through the pipe once it serves it.
    int number = 50 + int(QRandomGenerator::global()->bounded(50));
    for (int tried = 0; tried < 50 && QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)); ++tried)
        number = 50 + (number - 49) % 50;
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    fcntl(pipeEnds[0], F_SETFD, FD_CLOEXEC);
    const QByteArray display = ':' + QByteArray::number(number);
    const QByteArray fd = QByteArray::number(pipeEnds[1]);
    const char *argv[] = {"Xvfb", display.constData(), "-displayfd", fd.constData(), "-screen",
                          "0",    "1280x1024x24",      "-nolisten",  "tcp",          nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawnp(&m_server, "Xvfb", &actions, nullptr, const_cast<char **>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        m_server = -1;
        *error = QStringLiteral("Xvfb cannot be started (%1)").arg(QString::fromLocal8Bit(std::strerror(spawned)));
        return false;
    }
    QByteArray served;
    pollfd readable = {pipeEnds[0], POLLIN, 0};
    char c = 0;
    while (!served.endsWith('\n') && poll(&readable, 1, 10000) > 0 && read(pipeEnds[0], &c, 1) == 1)
        served += c;
    close(pipeEnds[0]);
    if (!served.endsWith('\n')) {
        *error = QStringLiteral("Xvfb did not start on %1").arg(QString::fromLatin1(display));
        return false;
    }
    m_display = QLatin1Char(':') + QString::fromLatin1(served.trimmed());

    m_connection = xcb_connect(m_display.toLatin1().constData(), nullptr);
    const xcb_query_extension_reply_t *damage =
        xcb_connection_has_error(m_connection) ? nullptr : xcb_get_extension_data(m_connection, &damageExtension);
    if (!damage || !damage->present) {
        *error = QStringLiteral("the X server %1 has no DAMAGE extension").arg(m_display);
        return false;
    }
    m_damageEvent = damage->first_event;
    // QueryVersion 1.1 first, as the extension asks.
    xcb_generic_error_t *failure = nullptr;
    free(xcb_wait_for_reply(m_connection, damageRequest(m_connection, 0, {1, 1}, true), &failure));
    free(failure);
    // Create: the whole screen's damage, every rectangle drawn; and the
    // windows made, placed and mapped on it. Nothing the panel does can come
    // before the watch.
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    damageRequest(m_connection, 1, {xcb_generate_id(m_connection), root, 0}, false);
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection, root, XCB_CW_EVENT_MASK, &mask);
    free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    // What the server drew before (its own screen) is no panel's.
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection))
        free(event);
    return true;
}

pid_t PanelStart::spawn(Platform platform, const QString &package, const QString &errorFile)
{
    // The caller's environment, as an operator's session has it, on the
    // platform asked for.
    QByteArrayList variables;
    for (char **v = environ; *v; ++v) {
        const QByteArray variable(*v);
        if (!variable.startsWith("QT_QPA_PLATFORM=") && !variable.startsWith("DISPLAY="))
            variables << variable;
    }
    if (platform == X11) {
        variables << "QT_QPA_PLATFORM=xcb"
                  << "DISPLAY=" + m_display.toLatin1();
    } else {
        variables << "QT_QPA_PLATFORM=offscreen";
    }
    std::vector<char *> envp;
    for (QByteArray &variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    const QByteArray program = QFile::encodeName(m_panel);
    const QByteArray argument = QFile::encodeName(package);
    char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>(argument.constData()), nullptr};
    const QByteArray errorPath = QFile::encodeName(errorFile);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errorPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.constData(), &actions, nullptr, argv, envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

PanelStart::Result PanelStart::run(Platform platform, const QString &package, const QSize &page)
{
    Result result;
    if (platform == X11 && !m_connection) {
        result.error = QStringLiteral("no X server");
        return result;
    }
    const QString errorFile = m_dir.filePath(QStringLiteral("stderr.txt"));
    const double start = nowMs();
    const pid_t panel = spawn(platform, package, errorFile);
    if (panel < 0) {
        result.error = QStringLiteral("the panel cannot be started");
        return result;
    }
    const double deadline = start + 60000;
    const double end = platform == X11 ? pageDrawn(page, panel, deadline, &result.error)
                                       : eventLoopWaiting(panel, deadline, &result.error);
    const bool shown = end >= 0;
    if (shown)
        result.ms = end - start;
    // Not the rusage of the ended process: posix_spawn's child runs in this
    // process's memory until it executes the panel, and that peak counts.
    result.peakKiB = peakResidentKiB(panel);
    kill(panel, SIGKILL);
    rusage usage{};
    wait4(panel, nullptr, 0, &usage);
    const auto ms = [](const timeval &t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    result.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    if (!shown) {
        QFile errors(errorFile);
        if (errors.open(QIODevice::ReadOnly))
            result.error += QStringLiteral("; standard error: ") + QString::fromLocal8Bit(errors.readAll().trimmed());
    }
    return result;
}

double PanelStart::pageDrawn(const QSize &page, pid_t panel, double deadline, QString *error)
{
    // The page's window, known by its size, once mapped; the first page is
    // on screen when everything drawn since covers it.
    QHash<uint32_t, QRect> windows;
    QRect shown;
    QRect drawn;
    pollfd readable = {xcb_get_file_descriptor(m_connection), POLLIN, 0};
    while (nowMs() < deadline) {
        xcb_generic_event_t *event = xcb_poll_for_event(m_connection);
        if (!event) {
            if (xcb_connection_has_error(m_connection)) {
                *error = QStringLiteral("the X connection broke");
                return -1;
            }
            if (ended(panel)) {
                *error = QStringLiteral("the panel ended before its page was shown");
                return -1;
            }
            poll(&readable, 1, 100);
            continue;
        }
        const int type = event->response_type & 0x7f;
        if (type == XCB_CREATE_NOTIFY) {
            const auto *created = reinterpret_cast<xcb_create_notify_event_t *>(event);
            windows.insert(created->window, QRect(created->x, created->y, created->width, created->height));
        } else if (type == XCB_CONFIGURE_NOTIFY) {
            const auto *placed = reinterpret_cast<xcb_configure_notify_event_t *>(event);
            windows.insert(placed->window, QRect(placed->x, placed->y, placed->width, placed->height));
        } else if (type == XCB_MAP_NOTIFY) {
            const QRect window = windows.value(reinterpret_cast<xcb_map_notify_event_t *>(event)->window);
            if (window.size() == page) {
                shown = window;
                drawn = QRect();
            }
        } else if (type == m_damageEvent && shown.isValid()) {
            const auto *damage = reinterpret_cast<DamageNotify *>(event);
            drawn |= QRect(damage->x, damage->y, damage->width, damage->height) & shown;
            if (drawn == shown) {
                free(event);
                return nowMs();
            }
        }
        free(event);
    }
    *error = QStringLiteral("no page of %1 x %2 on screen within a minute").arg(page.width()).arg(page.height());
    return -1;
}

double PanelStart::eventLoopWaiting(pid_t panel, double deadline, QString *error)
{
    // Sampled every half millisecond; the first of two samples in a row, so
    // that a poll between two pieces of work is not taken for the end.
    double since = -1;
    while (nowMs() < deadline) {
        if (ended(panel)) {
            *error = QStringLiteral("the panel ended before its page was shown");
            return -1;
        }
        const double sampled = nowMs();
        if (!waitingInPoll(panel))
            since = -1;
        else if (since < 0)
            since = sampled;
        else
            return since;
        const timespec pause = {0, 500000};
        nanosleep(&pause, nullptr);
    }
    *error = QStringLiteral("the panel did not settle within a minute (is /proc/%1/syscall readable?)").arg(panel);
    return -1;
}
