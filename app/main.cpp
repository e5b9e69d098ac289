#include "app/mainwindow.h"
#include "app/messagehandler.h"
#include "app/startoptions.h"
#include "app/startup.h"
#include "storage/projectdirectory.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QStyleFactory>

#include <cstdio>

int main(int argc, char *argv[])
{
    qInstallMessageHandler(messageHandler);
    QApplication app(argc, argv);

    const QString dataPath = projectDirectory();
    qDebug() << "DATA_PATH" << dataPath;
    if (!probeProjectDirectory(dataPath)) {
        qDebug() << "Can not open DATA_PATH!";
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

    MainWindow window;
    window.hide();

    const StartOptions options = StartOptions::parse(QApplication::arguments());
    if (options.topmost)
        window.setWindowFlags(Qt::WindowStaysOnTopHint);

    if (options.hasProjectPath) {
        window.loadProject(options.projectPath);
    } else {
        // The project selection dialog takes this place; until it exists the
        // window starts without pages.
    }

    if (options.fullscreen) {
        window.fullscreen = true;
        window.showFullScreen();
        window.setFullscreen();
    } else {
        window.show();
    }
    return app.exec();
}
