#include "gui/window/mainwindow.h"
#include "core/logging/logcategories.h"
#include "core/startup/consoleoutput.h"
#include "core/startup/messagehandler.h"
#include "core/startup/openglintegrations.h"
#include "core/startup/startoptions.h"
#include "gui/window/startup.h"
#include "gui/dialogs/dialogselectproject.h"
#include "gui/items/item.h"
#include "core/package/projectdirectory.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QLoggingCategory>
#include <QStyleFactory>

#include <cstdio>

// Shown only in the title of the project selection dialog.
static const char versionText[] = "3.00d";

int main(int argc, char *argv[])
{
    qInstallMessageHandler(messageHandler);
    setUpStandardStreams();
    // Debug lines never reach the output; filtering them here spares the
    // formatting on the hot paths (QT_LOGGING_RULES still overrides this).
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\nqalix.*.debug=false"));
    disableOpenGLIntegrations();
    QApplication app(argc, argv);

    const QString dataPath = projectDirectory();
    qCDebug(lcStartup) << "DATA_PATH" << dataPath;
    shareProjectFilesWithGroup(dataPath);
    if (!probeProjectDirectory(dataPath)) {
        qCDebug(lcStartup) << "Can not open DATA_PATH!";
        // Debug lines never reach the output; without this line the panel
        // would end without a trace.
        std::fprintf(stderr, "qalix-plus-control: the projects directory %s cannot be created or written\n",
                     qUtf8Printable(QDir::toNativeSeparators(dataPath)));
        return 2;
    }

    registerApplicationFont();
    seedRandomGenerator();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("fusion")));

    QString styleSheet;
    if (!readStyleSheet(QStringLiteral(":/style/css"), QStringLiteral(":/style/css_win"), &styleSheet))
        return 1;
    app.setStyleSheet(styleSheet);

    // Read before the first window: its texts are in the chosen language.
    const StartOptions options = StartOptions::parse(QApplication::arguments());
    for (const QString &problem : options.problems)
        std::fprintf(stderr, "qalix-plus-control: %s\n", qUtf8Printable(problem));
    if (!installTranslation(options.language))
        std::fprintf(stderr, "qalix-plus-control: -lang=%s: the translation cannot be loaded; German is shown\n",
                     qUtf8Printable(options.language));
    Item::setPressOnRelease(options.touch);

    MainWindow window;
    window.hide();

    if (options.topmost) {
        const QString problem = topmostProblem(QGuiApplication::platformName());
        if (problem.isEmpty())
            window.setWindowFlags(Qt::WindowStaysOnTopHint);
        else
            std::fprintf(stderr, "qalix-plus-control: %s\n", qUtf8Printable(problem));
    }

    if (options.hasProjectPath) {
        window.loadProject(options.projectPath);
    } else {
        // The dialog is gone before the main window shows.
        DialogSelectProject dialog;
        dialog.setWindowTitle(QStringLiteral("Qalix-PLUS-Control (%1)").arg(QLatin1String(versionText)));
        dialog.setTouch(options.touch);
        if (dialog.exec() != QDialog::Accepted)
            return 0;
        window.loadProject(dialog.selectedProject());
    }
    // Only now: idle time spent in the selection dialog is no panel's idle time.
    window.setWallOptions(options);

    if (options.fullscreen) {
        window.setFullscreenMode(true);
        window.showFullScreen();
        window.setFullscreen();
    } else {
        window.show();
    }
    return app.exec();
}
