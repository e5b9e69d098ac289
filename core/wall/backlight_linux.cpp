#include "core/wall/backlight.h"
#include "core/logging/logcategories.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

namespace {

// What restoreInEmergency() needs, prepared while the backlight goes dark:
// plain bytes, since a signal handler may read them at any moment. The file
// descriptor is taken by one caller only; the others wait until it is written,
// as Qt lets several threads report a lost display and one of them ends the
// process at once.
struct Emergency
{
    std::atomic<int> fd{-1};
    std::atomic<int> callers{0};
    char value[16] = {};
    size_t length = 0;
    char stateFile[4096] = {};
};
Emergency emergency;
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler uses it");

// Signals that end the process: while the backlight is off their handler
// switches it on first, then lets the signal take its course.
const int endingSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};
struct sigaction previousActions[sizeof(endingSignals) / sizeof(endingSignals[0])];

void onEndingSignal(int number)
{
    Backlight::restoreInEmergency();
    for (size_t i = 0; i < sizeof(endingSignals) / sizeof(endingSignals[0]); ++i) {
        if (endingSignals[i] == number)
            ::sigaction(number, &previousActions[i], nullptr);
    }
    ::raise(number);
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Writes `value` as `echo VALUE > path` would; the reason when it fails.
QString writeValue(const QString &path, const QByteArray &value)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return errnoText(errno);
    const QByteArray line = value + '\n';
    const ssize_t written = ::write(fd, line.constData(), size_t(line.size()));
    const int error = written < 0 ? errno : 0;
    ::close(fd);
    if (written == line.size())
        return QString();
    return error ? errnoText(error) : QStringLiteral("written only in part");
}

// The digits a brightness file holds; empty for anything else.
QByteArray readNumber(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray text = file.read(32).trimmed();
    if (text.isEmpty() || text.size() > 9)
        return QByteArray();
    for (const char c : text) {
        if (c < '0' || c > '9')
            return QByteArray();
    }
    return QByteArray::number(text.toInt());
}

QString writeProblem(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return QString();
    }
    const int error = errno;
    QString why = errnoText(error);
    if (error == EACCES || error == EPERM)
        why += QStringLiteral("; is the user in the group qalix?");
    return QStringLiteral("%1 cannot be written (%2)").arg(path, why);
}

} // namespace

QString Backlight::defaultClassDirectory()
{
    const QString own = qEnvironmentVariable("QALIX_BACKLIGHT_DIR");
    return own.isEmpty() ? QStringLiteral("/sys/class/backlight") : own;
}

QString Backlight::defaultStateFile()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(QStringLiteral("qalix-plus-control-backlight"));
    return QDir::temp().filePath(QStringLiteral("qalix-plus-control-%1-backlight").arg(::getuid()));
}

Backlight::Backlight(const QString &classDirectory, const QString &stateFile, Dpms dpms, const QString &noDpms)
    : m_stateFile(stateFile)
    , m_dpms(std::move(dpms))
{
    const QDir folder(classDirectory);
    QStringList names = folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    // A board lists one or two; a bound keeps a strange tree from slowing the start.
    names = names.mid(0, maxDevices);
    QString firstProblem;
    for (const QString &name : names) {
        const QString device = QDir::cleanPath(folder.filePath(name));
        for (const char *attribute : {"bl_power", "brightness"}) {
            const QString file = device + QLatin1Char('/') + QLatin1String(attribute);
            if (!QFileInfo::exists(file))
                continue;
            const QString problem = writeProblem(file);
            if (problem.isEmpty()) {
                m_file = file;
                // bl_power: 4 powers the backlight down, 0 up; brightness: 0 is dark.
                m_offValue = qstrcmp(attribute, "bl_power") == 0 ? "4" : "0";
                qCDebug(lcWall) << "Backlight" << m_file;
                return;
            }
            if (firstProblem.isEmpty())
                firstProblem = problem;
        }
        if (firstProblem.isEmpty())
            firstProblem = QStringLiteral("%1 has neither bl_power nor brightness").arg(device);
    }
    if (m_dpms)
        return;
    if (firstProblem.isEmpty())
        firstProblem = QStringLiteral("no device in %1").arg(QDir::cleanPath(classDirectory));
    m_whyNot = QStringLiteral("Backlight: %1, and %2; the screen saver only blacks the screen")
                   .arg(firstProblem, noDpms.isEmpty() ? QStringLiteral("no DPMS") : noDpms);
}

Backlight::~Backlight()
{
    QString problem;
    if (m_off && !switchOn(&problem))
        qCritical().noquote() << problem;
}

QString Backlight::target() const
{
    if (!m_file.isEmpty())
        return m_file;
    return m_dpms ? QStringLiteral("DPMS") : QString();
}

bool Backlight::switchOff(QString *problem)
{
    if (m_off)
        return true;
    if (m_file.isEmpty()) {
        if (!m_dpms)
            return true; // whyItStaysOn() has said so at the start
        QString why;
        m_off = m_dpms(false, &why);
        if (!m_off)
            *problem = QStringLiteral("Backlight DPMS: cannot be switched off (%1); the screen saver only blacks "
                                      "the screen")
                           .arg(why);
        return m_off;
    }
    if (m_offValue == "0") {
        // Back to the brightness it has now; one already at 0 (set by hand,
        // or left by a run that died) comes back at its brightest.
        m_onValue = readNumber(m_file);
        if (m_onValue.isEmpty() || m_onValue == "0")
            m_onValue = readNumber(QFileInfo(m_file).dir().filePath(QStringLiteral("max_brightness")));
        if (m_onValue.isEmpty() || m_onValue == "0") {
            *problem = QStringLiteral("Backlight %1: no brightness to come back to; it stays on").arg(m_file);
            return false;
        }
    } else {
        m_onValue = "0";
    }
    // Without a record nobody could switch it on after a crash: better on.
    if (!recordAndArm()) {
        *problem = QStringLiteral("Backlight %1: cannot record how to switch it on again in %2; it stays on")
                       .arg(m_file, m_stateFile);
        return false;
    }
    const QString why = writeValue(m_file, m_offValue);
    if (!why.isEmpty()) {
        disarm();
        *problem = QStringLiteral("Backlight %1: cannot be switched off (%2); the screen saver only blacks the "
                                  "screen")
                       .arg(m_file, why);
        return false;
    }
    m_off = true;
    return true;
}

bool Backlight::switchOn(QString *problem)
{
    if (!m_off)
        return true;
    QString why;
    if (m_file.isEmpty()) {
        m_off = !m_dpms(true, &why);
    } else {
        why = writeValue(m_file, m_onValue);
        if (why.isEmpty()) {
            m_off = false;
            disarm();
        }
    }
    if (m_off)
        *problem = QStringLiteral("Backlight %1: cannot be switched on again (%2)").arg(target(), why);
    return !m_off;
}

bool Backlight::recordAndArm()
{
    const QByteArray path = QFile::encodeName(m_file);
    const QByteArray statePath = QFile::encodeName(m_stateFile);
    if (size_t(statePath.size()) >= sizeof(emergency.stateFile) || size_t(m_onValue.size()) >= sizeof(emergency.value))
        return false;
    QSaveFile record(m_stateFile);
    if (!record.open(QIODevice::WriteOnly) || record.write(path + '\n' + m_onValue + '\n') < 0 || !record.commit())
        return false;

    std::memcpy(emergency.value, m_onValue.constData(), size_t(m_onValue.size()));
    emergency.value[m_onValue.size()] = '\n';
    emergency.length = size_t(m_onValue.size()) + 1;
    std::memcpy(emergency.stateFile, statePath.constData(), size_t(statePath.size()) + 1);
    emergency.fd = ::open(path.constData(), O_WRONLY | O_CLOEXEC);
    struct sigaction action = {};
    action.sa_handler = onEndingSignal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < sizeof(endingSignals) / sizeof(endingSignals[0]); ++i)
        ::sigaction(endingSignals[i], &action, &previousActions[i]);
    return true;
}

void Backlight::disarm()
{
    for (size_t i = 0; i < sizeof(endingSignals) / sizeof(endingSignals[0]); ++i)
        ::sigaction(endingSignals[i], &previousActions[i], nullptr);
    const int fd = emergency.fd.exchange(-1);
    if (fd >= 0)
        ::close(fd);
    QFile::remove(m_stateFile);
}

void Backlight::restoreInEmergency()
{
    ++emergency.callers;
    const int fd = emergency.fd.exchange(-1);
    if (fd >= 0) {
        if (::pwrite(fd, emergency.value, emergency.length, 0) == ssize_t(emergency.length))
            ::unlink(emergency.stateFile);
        // A plain file (a test's tree) must not keep a longer old value's tail.
        const int cut = ::ftruncate(fd, off_t(emergency.length));
        (void)cut;
        ::close(fd);
    }
    --emergency.callers;
    // At most 200 ms: a signal that interrupted the writer on its own thread
    // would wait for it forever.
    const struct timespec millisecond = {0, 1000000};
    for (int i = 0; i < 200 && emergency.callers.load() > 0; ++i)
        ::nanosleep(&millisecond, nullptr);
}

bool Backlight::restoreRecorded(const QString &stateFile, const QString &classDirectory, QString *problem)
{
    QFile record(stateFile);
    if (!record.exists())
        return true;
    if (!record.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("Backlight record %1 cannot be read (%2)").arg(stateFile, record.errorString());
        return false;
    }
    const QByteArray content = record.read(maxStateBytes + 1);
    record.close();
    const QList<QByteArray> lines = content.split('\n');
    const QString file = lines.size() == 3 ? QFile::decodeName(lines.at(0)) : QString();
    const QByteArray value = lines.size() == 3 ? lines.at(1) : QByteArray();

    // Only a value for a backlight file directly below the class folder: the
    // record is a file anybody with the user's rights could have written.
    const QString prefix = QDir::cleanPath(classDirectory) + QLatin1Char('/');
    const QString device = file.mid(prefix.size()).section(QLatin1Char('/'), 0, 0);
    const QString attribute = file.mid(prefix.size()).section(QLatin1Char('/'), 1);
    const bool sound = content.size() <= maxStateBytes && file.startsWith(prefix) && !device.isEmpty()
        && device != QLatin1String(".") && device != QLatin1String("..")
        && (attribute == QLatin1String("bl_power") || attribute == QLatin1String("brightness")) && !value.isEmpty()
        && value.size() <= 9 && std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!sound) {
        QFile::remove(stateFile);
        *problem = QStringLiteral("Backlight record %1 names no backlight of %2; removed unapplied")
                       .arg(stateFile, QDir::cleanPath(classDirectory));
        return false;
    }
    const QString why = writeValue(file, value);
    if (!why.isEmpty()) {
        *problem = QStringLiteral("Backlight %1: cannot be switched on again (%2)").arg(file, why);
        return false;
    }
    QFile::remove(stateFile);
    return true;
}
