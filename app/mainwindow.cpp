#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/dialogprogress.h"
#include "app/projectloader.h"
#include "items/item.h"
#include "options/dialogoptions.h"
#include "pages/page.h"
#include "storage/qlxfat.h"

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QIcon>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>

#include <algorithm>

const QSize MainWindow::fallbackPageSize(400, 300);

// The connection state the connection button shows, shared by every window
// of the process like the connection it stands for.
static bool lastShownConnected = false;

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , fullscreen(false)
    , ui(new Ui::MainWindow)
    , pageX(0)
    , pageY(0)
    , msgClient(nullptr)
{
    ui->setupUi(this); // also connects the buttons to the on_<name>_clicked slots
    connect(&connectionTimer, &QTimer::timeout, this, &MainWindow::onTimeout);
    connect(&guiTimer, &QTimer::timeout, this, &MainWindow::updateGUI);
    hide();
}

MainWindow::~MainWindow()
{
    delete ui;
}

MainWindow::ButtonPlacement MainWindow::buttonPlacement(const QSize &windowSize)
{
    const int w = windowSize.width();
    const int shorter = std::min(w, windowSize.height());
    // Truncation toward zero throughout, so the buttons never overlap and
    // the exit button never reaches past the right edge.
    const double d = shorter * 0.1;
    const int edge = int(d);
    ButtonPlacement placement;
    placement.iconEdge = int(shorter * 0.095);
    placement.exit = QRect(int(w - d), 0, edge, edge);
    placement.options = QRect(int(w - 2 * d), 0, edge, edge);
    placement.connection = QRect(int(w - 3 * d), 0, edge, edge);
    return placement;
}

double MainWindow::zoomFactor(const QSize &screen, int pageX, int pageY)
{
    if (screen.width() < screen.height())
        return pageX > 0 ? double(screen.width()) / pageX : 1.0;
    return pageY > 0 ? double(screen.height()) / pageY : 1.0;
}

QSize MainWindow::windowedSize() const
{
    if (pageX > 0 && pageY > 0)
        return QSize(pageX, pageY);
    // A window fixed to a zero size could never be seen or closed.
    qDebug() << "Page size" << pageX << "x" << pageY << "unusable, window uses" << fallbackPageSize;
    return fallbackPageSize;
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    if (!fullscreen) {
        const QSize size = windowedSize();
        setMinimumSize(size);
        setMaximumSize(size);
        for (Page *page : qAsConst(pages)) {
            page->setGeometry(0, 0, size.width(), size.height());
            page->rescale(1.0);
        }
    } else {
        setFullscreen();
    }

    placeButtons();

    if (event) {
        QMainWindow::resizeEvent(event);
        // A size fixed while show() delivers its first resize event is never
        // announced, and the central widget would keep the old size.
        if (event->size() != size())
            QCoreApplication::postEvent(this, new QResizeEvent(size(), event->size()));
    }
}

void MainWindow::placeButtons()
{
    const ButtonPlacement placement = buttonPlacement(size());
    const QSize icon(placement.iconEdge, placement.iconEdge);
    qDebug() << "Icon Size" << icon;
    qDebug() << "Set Exit to" << placement.exit;
    qDebug() << "Set Options to" << placement.options;
    qDebug() << "Set ConnectionButton to" << placement.connection;

    const std::pair<QPushButton *, QRect> buttons[] = {
        { ui->pushButton, placement.exit },
        { ui->pushButtonOptions, placement.options },
        { ui->pushButtonConnection, placement.connection },
    };
    for (const auto &button : buttons) {
        button.first->setGeometry(button.second);
        button.first->setMinimumSize(button.second.size());
        button.first->setMaximumSize(button.second.size());
        button.first->setIconSize(icon);
        button.first->raise(); // above the pages
    }
}

void MainWindow::setFullscreen()
{
    if (!isVisible())
        return;
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    qDebug() << "Set Fullscreen" << area;
    setFixedSize(area.size());
    const double factor = zoomFactor(area.size(), pageX, pageY);
    qDebug() << "Page zoom" << factor;
    for (Page *page : qAsConst(pages)) {
        page->setFixedSize(area.size());
        page->setScale(factor);
    }
}

bool MainWindow::loadProject(const QString &path)
{
    DialogProgress progress;
    progress.show();

    QLXFat package;
    if (!package.open(path, false))
        return false;

    ProjectLoader loader(&progress);
    loader.extractPictures(package);
    loader.readDocument(package.fileData(QStringLiteral("project")), &pages, ui->centralWidget,
                        [this](Item *item) { connect(item, &Item::changePort, this, &MainWindow::onChangePort); });
    pageX = loader.pageX;
    pageY = loader.pageY;
    host = loader.host;
    username = loader.username;
    password = loader.password;

    if (!pages.isEmpty())
        pages.first()->show();
    resizeEvent(nullptr);

    // The message server client is created and connected to onReceived here.

    connectionTimer.start(5000);
    guiTimer.start(10);
    return true;
}

void MainWindow::onReceived(QString object, int port, bool output, double value)
{
    // Filled in by the live update.
    Q_UNUSED(object)
    Q_UNUSED(port)
    Q_UNUSED(output)
    Q_UNUSED(value)
}

void MainWindow::onChangePort(QString portName)
{
    // Filled in by the live update.
    Q_UNUSED(portName)
}

void MainWindow::onTimeout()
{
    // Without a client (no project loaded) there is nothing connected.
    bool connected = false;
    if (msgClient) {
        // The message server client completes this:
        // connected = msgClient->socket->state() == QAbstractSocket::ConnectedState;
    }

    // Replace the icon only on a change of state.
    if (connected && !lastShownConnected)
        ui->pushButtonConnection->setIcon(QIcon(QStringLiteral(":/icons/ok")));
    else if (!connected && lastShownConnected)
        ui->pushButtonConnection->setIcon(QIcon(QStringLiteral(":/icons/error")));

    if (!connected && msgClient) {
        // The message server client completes this with a new, non-blocking attempt:
        // msgClient->connectToServer();
        // connected = msgClient->socket->state() == QAbstractSocket::ConnectedState;
    }
    lastShownConnected = connected;
}

void MainWindow::updateGUI()
{
    // Filled in by the live update.
}

void MainWindow::on_pushButton_clicked()
{
    close();
}

void MainWindow::on_pushButtonOptions_clicked()
{
    // Saved options take effect only at the next start, so saving ends the program.
    DialogOptions dialog;
    if (dialog.exec() == QDialog::Accepted)
        close();
}
