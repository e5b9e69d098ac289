#include "tests/support/testsupport.h"
#include "tests/support/unprivileged.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>

// The kiosk launcher running a shell stand-in for the panel.
class TestKioskLauncher : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void savedOptionsBringThePanelBackFullScreen();
    void startedAtBoot_data();
    void startedAtBoot();

private:
    // Starts the launcher on the stand-in, which follows plan: one step per
    // run, "save NAME" (stores NAME for autostart, exits 0), "exit CODE",
    // "kill" (SIGKILL), "dark" (killed with the backlight off) or "wait".
    // A `command` starts it instead, as a shell line with the launcher's name
    // in it, run as nobody when the test runs as root.
    void startLauncher(const QStringList &plan, const QStringList &arguments, QString command = QString());
    QStringList recordedRuns() const;

    std::unique_ptr<QTemporaryDir> dir;
    QString bin;
    QString projects;
    QProcess launcher;
};

namespace {

// Records its arguments, "|"-separated, one run a line.
const char standIn[] = R"(#!/bin/sh
dir=$(dirname "$0")
n=$(($(cat "$dir/count" 2>/dev/null || echo 0) + 1))
echo $n >"$dir/count"
for a in "$@" "$QALIX_KIOSK_LAUNCHER"; do printf '%s|' "$a"; done >>"$dir/runs"
echo >>"$dir/runs"
echo $$ >"$dir/pid"
echo $PPID >"$dir/launcher"
cat "$QALIX_BACKLIGHT_DIR/panel/bl_power" >>"$dir/seen"
step=$(sed -n "${n}p" "$dir/plan")
case "$step" in
dark) echo 4 >"$QALIX_BACKLIGHT_DIR/panel/bl_power"
      printf '%s\n0\n' "$QALIX_BACKLIGHT_DIR/panel/bl_power" >"$XDG_RUNTIME_DIR/qalix-plus-control-backlight"
      kill -KILL $$ ;;
save*) printf '[General]\nprojectAutoStart=%s\nautoConnect=true\n' "${step#save }" >"$dir/projects/settings.ini"; exit 0 ;;
exit*) exit "${step#exit }" ;;
kill) kill -KILL $$ ;;
wait) exec sleep 60 ;;
esac
exit 99
)";

} // namespace

void TestKioskLauncher::init()
{
    if (launcher.state() != QProcess::NotRunning) {
        launcher.kill();
        launcher.waitForFinished(5000);
    }
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    bin = QFileInfo(dir->path()).canonicalFilePath() + "/bin";
    projects = bin + "/projects";
    QVERIFY(QDir().mkpath(projects));
}

void TestKioskLauncher::startLauncher(const QStringList &plan, const QStringList &arguments, QString command)
{
    QVERIFY(writeFile(bin + "/qalix-plus-control", standIn));
    QVERIFY(QFile::setPermissions(bin + "/qalix-plus-control", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(writeFile(bin + "/plan", plan.join('\n').toUtf8() + '\n'));
    QVERIFY(writeFile(projects + "/Demo.qlxd", "package"));
    QVERIFY(writeFile(bin + "/backlight/panel/bl_power", "0\n") && QDir().mkpath(bin + "/run"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QALIX_BACKLIGHT_DIR", bin + "/backlight");
    env.insert("XDG_RUNTIME_DIR", bin + "/run");
    env.insert("WLR_BACKENDS", "headless");
    env.insert("WLR_RENDERER", "pixman");
    launcher.setProcessEnvironment(env);
    const QString kiosk = QStringLiteral(QALIX_BUILD_DIR "/qalix-plus-control-kiosk");
    if (command.isEmpty()) {
        launcher.start(kiosk, QStringList{"--panel", bin + "/qalix-plus-control"} + arguments);
    } else {
        command.replace(QRegularExpression("(/usr/bin/)?qalix-plus-control-kiosk"),
                        kiosk + " --panel " + bin + "/qalix-plus-control");
        QVERIFY(handToUnprivileged(dir->path())
                && QFile::setPermissions(bin + "/run", QFile::ExeOwner | QFile::ReadOwner | QFile::WriteOwner));
        // The launcher may outlive the shell (labwc's line ends in &): its lines go to a file.
        startUnprivileged(launcher, "sh", {"-c", "exec 2>>" + bin + "/launcher.log; " + command});
    }
    QVERIFY(launcher.waitForStarted(5000));
}

QStringList TestKioskLauncher::recordedRuns() const
{
    const QString runs = bin + "/runs";
    return QFile::exists(runs) ? QString(readFile(runs)).split('\n', Qt::SkipEmptyParts) : QStringList();
}

void TestKioskLauncher::savedOptionsBringThePanelBackFullScreen()
{
    // The panel killed while its screen saver had the backlight off: on again before the next start.
    startLauncher({"save Demo.qlxd", "dark", "exit 0"},
                  {"-home=30", "--alwyas", "-Home=30", "-touch", "-lang=en", "-wake=ITM_Alarm_IN1"});
    QVERIFY(launcher.waitForFinished(20000));
    const QByteArray errors = launcher.readAllStandardError();
    QCOMPARE(launcher.exitStatus(), QProcess::NormalExit);
    QCOMPARE(launcher.exitCode(), 0);

    // The last field: the launcher tells the panel that it will start it again.
    const QString passed = "-stale=15|-home=30|-touch|-lang=en|-wake=ITM_Alarm_IN1|1|";
    const QString fullScreen = "-fullscreen|" + projects + "/Demo.qlxd|" + passed;
    QCOMPARE(recordedRuns(), (QStringList{"-fullscreen|" + passed, fullScreen, fullScreen}));
    const QList<QByteArray> lines = errors.trimmed().split('\n');
    // A mistyped word is named, not handed on, where it could become the package.
    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines.at(0).contains("--alwyas") && lines.at(1).contains("-Home=30"), errors.constData());
    QVERIFY2(lines.at(2).contains("options saved"), errors.constData());
    QVERIFY2(lines.at(3).contains("killed by signal 9 (SIGKILL)") && lines.at(3).contains("again in 1 s"),
             errors.constData());
    QCOMPARE(readFile(bin + "/seen"), QByteArray("0\n0\n0\n"));
    QVERIFY(!QFile::exists(bin + "/run/qalix-plus-control-backlight"));
}

void TestKioskLauncher::startedAtBoot_data()
{
    QTest::addColumn<QString>("example"); // below packaging/
    QTest::addColumn<QString>("prefix");  // of its line that starts the launcher
    QTest::newRow("labwc autostart") << "labwc-autostart"
                                     << "qalix-plus-control-kiosk ";
    QTest::newRow("cage as the session") << "qalix-plus-control-cage@.service"
                                         << "ExecStart=";
}

// The examples' lines as labwc and systemd run them: under both the launcher
// starts a panel that was killed again after a second.
void TestKioskLauncher::startedAtBoot()
{
    QFETCH(QString, example);
    QFETCH(QString, prefix);
    const QStringList lines = QString(readFile(QALIX_SOURCE_DIR "/packaging/" + example)).split('\n');
    const auto line = std::find_if(lines.begin(), lines.end(), [&](const QString &l) { return l.startsWith(prefix); });
    QVERIFY(line != lines.end());
    const QString command = line->mid(prefix.startsWith("Exec") ? prefix.size() : 0);
    if (command.startsWith("/usr/bin/cage") && QStandardPaths::findExecutable("cage").isEmpty())
        QSKIP("cage is missing (./panel.sh test installs it)");
    startLauncher({"kill", "wait"}, {}, QString(command).replace("/usr/bin/cage", "cage"));
    QTRY_COMPARE_WITH_TIMEOUT(recordedRuns().size(), 2, 20000);
    QVERIFY2(readFile(bin + "/launcher.log").contains("again in 1 s"), readFile(bin + "/launcher.log").constData());

    // SIGTERM ends the panel, then the launcher, then cage with its program.
    const pid_t kiosk = pid_t(readFile(bin + "/launcher").trimmed().toInt());
    const pid_t panel = pid_t(readFile(bin + "/pid").trimmed().toInt());
    QVERIFY(kiosk > 0 && panel > 0 && ::kill(kiosk, SIGTERM) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(::kill(kiosk, 0) != 0 && errno == ESRCH, 10000);
    const bool panelGone = ::kill(panel, 0) != 0 && errno == ESRCH;
    QVERIFY2(panelGone || ::kill(panel, SIGKILL) != 0, "the panel outlived its launcher");
    QTRY_COMPARE_WITH_TIMEOUT(launcher.state(), QProcess::NotRunning, 10000);
}

QTEST_GUILESS_MAIN(TestKioskLauncher)
#include "tst_kiosklauncher.moc"
