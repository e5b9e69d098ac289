#include "core/startup/messagehandler.h"
#include "core/wall/backlight.h"

#include "tests/support/testsupport.h"

#include <QtTest>

#include <csignal>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

// The screen saver's backlight on Linux: the device it switches, its record,
// and the way back on when the panel dies in the dark.
class TestBacklight : public QObject
{
    Q_OBJECT

private slots:
    void backlight_data();
    void backlight();
    void backlightRecord_data();
    void backlightRecord();
    void backlightOnWhenKilled();
    void displayLostSaidOnce();
};

// A backlight class folder: "device/file=content", "device/file/" (a folder:
// no process may write it), "device/file->target" (a link).
static QString backlightTree(const QTemporaryDir &dir, const QStringList &entries)
{
    const QString root = dir.filePath("backlight");
    for (const QString &entry : entries) {
        const QString path = root + "/" + entry.section(QRegularExpression("=|->"), 0, 0);
        QDir().mkpath(QFileInfo(path).path());
        if (entry.contains("->"))
            QFile::link(entry.section("->", 1), path);
        else if (entry.endsWith('/'))
            QDir().mkpath(path);
        else
            writeFile(path, entry.section('=', 1).toUtf8() + '\n');
    }
    return root;
}

void TestBacklight::backlight_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QString>("dpms"); // "on" when there is DPMS
    // "FILE OFF ON": the file switched and its value while off and after; or a line for standard error.
    QTest::addColumn<QString>("expected");

    QTest::newRow("brightness back to its value") << QStringList{"panel/brightness=137"} << ""
                                                  << "panel/brightness 0 137";
    QTest::newRow("brightness at 0 comes back brightest")
        << QStringList{"panel/brightness=0", "panel/max_brightness=255"} << ""
        << "panel/brightness 0 255";
    QTest::newRow("the first that can be written, bl_power first")
        << QStringList{"a/bl_power/", "b/bl_power=0", "b/brightness=200"} << ""
        << "b/bl_power 4 0";
    QTest::newRow("none written: DPMS") << QStringList{"a/bl_power/"} << "on"
                                        << "DPMS off on";
    QTest::newRow("nothing at all") << QStringList() << ""
                                    << "Backlight: no device in %1, and no DPMS on wayland; the screen saver only "
                                       "blacks the screen";
    QTest::newRow("cannot be written") << QStringList{"a/bl_power/"} << ""
                                       << "a/bl_power cannot be written (Is a directory), and no DPMS on wayland";
    QTest::newRow("write fails") << QStringList{"a/bl_power->/dev/full"} << ""
                                 << "cannot be switched off (No space left on device)";
}

// Which backlight the screen saver switches, how, and what it says when it cannot.
void TestBacklight::backlight()
{
    QFETCH(QStringList, tree);
    QFETCH(QString, dpms);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString root = backlightTree(dir, tree);
    const QString record = dir.filePath("record");
    QStringList dpmsSaw;
    const auto switchDpms = [&](bool on, QString *) { return (dpmsSaw << (on ? "on" : "off")).size() > 0; };
    Backlight light(root, record, dpms.isEmpty() ? Backlight::Dpms() : switchDpms, "no DPMS on wayland");
    QString outcome = light.whyItStaysOn();
    if (outcome.isEmpty() && light.switchOff(&outcome)) {
        // While off, the record says how to switch it on again; once on, it is gone.
        const QByteArray off = readFile(light.target()).trimmed();
        const QByteArray recorded = readFile(record);
        QVERIFY(light.switchOn(&outcome) && !light.isOff() && !QFile::exists(record));
        outcome = light.target() == "DPMS"
            ? "DPMS " + dpmsSaw.join(' ')
            : light.target().mid(root.size() + 1) + " " + off + " " + readFile(light.target()).trimmed();
        QVERIFY(light.target() == "DPMS"
                || recorded == light.target().toUtf8() + '\n' + outcome.section(' ', 2) + '\n');
    } else {
        QVERIFY(!light.isOff() && !QFile::exists(record));
    }
    QVERIFY2(outcome.contains(expected.arg(root)), qPrintable(outcome));
}

void TestBacklight::backlightRecord_data()
{
    QTest::addColumn<QByteArray>("record"); // %1: the class folder, %2 its parent
    QTest::addColumn<bool>("kept");

    QTest::newRow("beside the folder") << QByteArray("%2/elsewhere/panel/bl_power\n0\n") << false;
    QTest::newRow("out of the folder") << QByteArray("%1/../bl_power\n0\n") << false;
    QTest::newRow("not a backlight file") << QByteArray("%1/panel/uevent\n0\n") << false;
    QTest::newRow("not a number") << QByteArray("%1/panel/bl_power\n0; reboot\n") << false;
    QTest::newRow("cannot be written") << QByteArray("%1/full/bl_power\n0\n") << true;
}

// A record left by a panel killed in the dark is a file anybody with the user's rights can
// write: one that names anything but a backlight is not applied. (A sound one: tst_kioskpolicy.)
void TestBacklight::backlightRecord()
{
    QFETCH(QByteArray, record);
    QFETCH(bool, kept);
    QTemporaryDir dir;
    const QString root = backlightTree(dir, {"panel/bl_power=4", "full/bl_power->/dev/full"});
    // Files a record must not reach, though named like backlight files.
    const QStringList victims{root + "/panel/bl_power", dir.filePath("bl_power"),
                              dir.filePath("elsewhere/panel/bl_power")};
    for (const QString &victim : victims)
        QVERIFY(writeFile(victim, "4\n"));
    const QString state = dir.filePath("record");
    QVERIFY(writeFile(state, QString(record).replace("%1", root).replace("%2", dir.path()).toUtf8()));
    QString problem;
    QVERIFY(!Backlight::restoreRecorded(state, root, &problem) && !problem.isEmpty());
    for (const QString &victim : victims)
        QCOMPARE(readFile(victim), QByteArray("4\n"));
    QCOMPARE(QFile::exists(state), kept);
}

// A panel that is killed, crashes or loses its display (0: Qt's warning, then
// _exit) while the backlight is off switches it on on its way out, and says
// the display is lost once.
void TestBacklight::backlightOnWhenKilled()
{
    for (const int signal : {SIGTERM, SIGSEGV, SIGABRT, 0}) {
        QTemporaryDir dir;
        const QString root = backlightTree(dir, {"panel/brightness=180"});
        const pid_t child = ::fork();
        if (child == 0) {
            ::signal(signal, SIG_DFL); // the panel's own, not the test's crash report
            Backlight light(root, dir.filePath("record"));
            QString problem;
            if (light.switchOff(&problem) && readFile(root + "/panel/brightness") == "0\n" && signal)
                ::raise(signal);
            else if (light.isOff() && ::freopen(qPrintable(dir.filePath("err")), "w", stderr))
                for (int thread = 0; thread < 2; ++thread) // Qt 6 may say it from two threads
                    messageHandler(QtWarningMsg, QMessageLogContext(), "The Wayland connection broke. Did it die?");
            ::_exit(light.isOff() ? 1 : 0);
        }
        int status = 0;
        QVERIFY2(::waitpid(child, &status, 0) == child && (!WIFEXITED(status) || WEXITSTATUS(status) != 0),
                 "the child did not go dark, or survived");
        QCOMPARE(readFile(root + "/panel/brightness"), QByteArray("180\n"));
        QVERIFY(!QFile::exists(dir.filePath("record")));
        if (!signal)
            QCOMPARE(readFile(dir.filePath("err")), QByteArray("The Wayland connection broke. Did it die?\n"));
    }
}

// Two of Qt's threads may find the display lost, and each ends the process
// right after its warning: whichever ends it, the line is out, once.
void TestBacklight::displayLostSaidOnce()
{
    QTemporaryDir dir;
    const QString err = dir.filePath("err");
    for (int round = 0; round < 40; ++round) {
        const pid_t child = ::fork();
        if (child == 0) {
            if (!::freopen(qPrintable(err), "w", stderr))
                ::_exit(2);
            const auto lost = [] {
                messageHandler(QtWarningMsg, QMessageLogContext(), "The Wayland connection broke. Did it die?");
                ::_exit(1);
            };
            std::thread other(lost);
            lost();
        }
        int status = 0;
        QVERIFY(::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 1);
        QCOMPARE(readFile(err), QByteArray("The Wayland connection broke. Did it die?\n"));
    }
}

QTEST_APPLESS_MAIN(TestBacklight)
#include "tst_backlight.moc"
