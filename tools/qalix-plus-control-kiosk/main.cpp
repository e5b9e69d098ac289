// qalix-plus-control-kiosk: keeps the panel running on a kiosk PC, on the
// project the options dialog chose for autostart.

#include "tools/qalix-plus-control-kiosk/kioskpolicy.h"
#include "core/startup/startoptions.h"
#include "core/startup/stoprequest.h"
#include "core/wall/backlight.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <cstdio>

namespace {

const char usage[] = "Usage: qalix-plus-control-kiosk [--always] [--panel PATH] [PANEL-ARGUMENTS...]\n"
                     "\n"
                     "Keeps the panel running on a kiosk PC. Before every start it reads projects/settings.ini\n"
                     "beside the panel: when \"Autostart Projekt\" names a package there, the panel starts full\n"
                     "screen on it; otherwise it starts with its project selection dialog, and the project\n"
                     "picked there opens full screen.\n"
                     "\n"
                     "  options saved in the panel   the panel starts again at once, with the new settings\n"
                     "  exit button                  the launcher ends (with --always the panel starts again)\n"
                     "  crash or exit code not 0     the panel starts again after 1 s, doubled after each\n"
                     "                               failure up to 60 s; a run of a minute or more starts\n"
                     "                               the count anew\n"
                     "Each restart writes one line to standard error. A backlight the panel's screen saver\n"
                     "switched off and left off (it crashed, or was killed) is switched on again as soon as\n"
                     "the panel has ended.\n"
                     "\n"
                     "  --always       start the panel again after its exit button as well\n"
                     "  --panel PATH   the panel program (default: qalix-plus-control beside this program)\n"
                     "  --help         this text\n"
                     "\n"
                     "The panel's switches, and everything after \"--\", are passed to the panel after the\n"
                     "package path; any other argument is named on standard error and left out:\n"
                     "  -fullscreen, -topmost\n"
                     "  -touch         presses act when the finger lifts inside the item, and show\n"
                     "  -wake=PORT,... a report other than 0 for one of these ports wakes the screen\n"
                     "  -lang=en       English instead of German for what the operator reads\n"
                     "  -home=SECONDS  the first page again after that long untouched\n"
                     "  -dim=SECONDS   a black screen saver with the time after that long untouched\n"
                     "  -stale=SECONDS values shown stale after that long without the message server,\n"
                     "                 and unknown ones at once (default 15; -stale=0 turns it off)\n"
                     "  -lock=PATH     exit and options ask for the PIN in that file (4 to 8 digits)\n"
                     "SIGTERM, SIGINT and SIGHUP end the panel, then the launcher (on Windows Ctrl+C, Ctrl+Break\n"
                     "and closing the console window do).\n"
                     "Exit status: 0 after the exit button, 1 without a panel program, 2 for a usage error,\n"
                     "128 + the signal's number after a signal.\n";

void say(const QString &line)
{
    std::fprintf(stderr, "qalix-plus-control-kiosk: %s\n", qPrintable(line));
    std::fflush(stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    bool always = false;
    QString panel =
        QCoreApplication::applicationDirPath() + QStringLiteral("/qalix-plus-control" QALIX_EXECUTABLE_SUFFIX);
    QStringList passThrough;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--help")) {
            std::fputs(usage, stdout);
            return 0;
        } else if (arg == QLatin1String("--always")) {
            always = true;
        } else if (arg == QLatin1String("--panel") && i + 1 < args.size()) {
            panel = args.at(++i);
        } else if (arg.startsWith(QLatin1String("--panel="))) {
            panel = arg.mid(8);
        } else if (arg == QLatin1String("--panel")) {
            say(QStringLiteral("--panel needs a path (see --help)"));
            return 2;
        } else if (arg == QLatin1String("--")) {
            passThrough += args.mid(i + 1);
            break;
        } else if (KioskPolicy::isPanelSwitch(arg)) {
            passThrough << arg;
        } else {
            // Passed on, a stray word could become the panel's package path.
            say(QStringLiteral("%1 is neither a switch of the launcher nor one of the panel's, ignored "
                               "(see --help; put it after \"--\" to pass it on all the same)")
                    .arg(arg));
        }
    }

    passThrough = KioskPolicy::withStaleDefault(passThrough);

    const QFileInfo panelInfo(panel);
    if (!panelInfo.isFile() || !panelInfo.isExecutable()) {
        say(QStringLiteral("no panel program at %1").arg(panel));
        return 1;
    }
    // The panel finds its projects beside its resolved executable, so links are
    // resolved here too.
    const QString program = panelInfo.canonicalFilePath();
    const QString projectsDir = QFileInfo(program).absolutePath() + QStringLiteral("/projects");

    StopRequest stopRequest({StopRequest::Terminate, StopRequest::Interrupt, StopRequest::HangUp});
    if (!stopRequest.isWatching()) {
        say(QStringLiteral("cannot create the signal pipe"));
        return 1;
    }

    KioskPolicy policy(always);
    QProcess process;
    process.setProgram(program);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    // The panel's options then say that saving starts it again.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(StartOptions::launcherVariable), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    QTimer restartTimer;
    restartTimer.setSingleShot(true);
    QElapsedTimer runTime;
    QByteArray settingsBefore;
    bool stopping = false;

    // A panel that died while its screen saver had the backlight off left
    // a record of how to switch it on again.
    const auto restoreBacklight = [] {
        QString problem;
        if (!Backlight::restoreRecorded(Backlight::defaultStateFile(), Backlight::defaultClassDirectory(), &problem))
            say(problem);
    };
    auto start = [&] {
        restoreBacklight();
        process.setArguments(KioskPolicy::panelArguments(projectsDir, passThrough));
        settingsBefore = KioskPolicy::settingsFingerprint(projectsDir);
        runTime.start();
        process.start();
    };
    auto ended = [&](KioskPolicy::Run run) {
        if (stopping)
            return;
        // At once, not after the back-off, which may be a minute.
        restoreBacklight();
        run.durationMs = runTime.elapsed();
        run.settingsChanged = KioskPolicy::settingsFingerprint(projectsDir) != settingsBefore;
        const int delay = policy.nextDelay(run);
        if (delay < 0) {
            QCoreApplication::exit(0);
            return;
        }
        say(KioskPolicy::restartLine(run, delay));
        restartTimer.start(delay);
    };

    QObject::connect(&restartTimer, &QTimer::timeout, start);
    QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
                     [&](int exitCode, QProcess::ExitStatus status) {
                         KioskPolicy::Run run;
                         run.crashed = status == QProcess::CrashExit;
                         // After a crash QProcess reports the signal as the exit code.
                         run.signal = run.crashed ? exitCode : 0;
                         run.exitCode = run.crashed ? 0 : exitCode;
                         ended(run);
                     });
    QObject::connect(&process, &QProcess::errorOccurred, [&](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        KioskPolicy::Run run;
        run.crashed = true;
        run.startError = process.errorString();
        ended(run);
    });
    QObject::connect(&stopRequest, &StopRequest::requested, [&](int number) {
        stopping = true;
        restartTimer.stop();
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(5000)) {
                say(QStringLiteral("the panel did not end within 5 s of SIGTERM, killing it"));
                process.kill();
                process.waitForFinished(5000);
            }
        }
        restoreBacklight();
        QCoreApplication::exit(128 + number);
    });

    start();
    return app.exec();
}
