#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/dialogprogress.h"
#include "app/projectloader.h"
#include "items/item.h"
#include "net/qalixmsgclient.h"
#include "options/dialogoptions.h"
#include "pages/page.h"
#include "storage/qlxfat.h"

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QIcon>
#include <QPushButton>
#include <QRegularExpression>
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

    msgClient = new QalixMsgClient(host, 64401, false, true, username, password, false, this);
    connect(msgClient, &QalixMsgClient::received, this, &MainWindow::onReceived);

    connectionTimer.start(5000);
    guiTimer.start(10);
    return true;
}

void MainWindow::onReceived(QString object, int port, bool output, double value)
{
    qInfo() << "Data" << object << output << port << value;
    const QString key = QStringLiteral("ITM_") + object + (output ? QLatin1String("_OUT") : QLatin1String("_IN"))
        + QString::number(port);
    // Only recorded here; updateGUI hands it to the pages at the key's next visit.
    portValues.insert(key, value);
    portChanged.insert(key, true);
}

void MainWindow::onChangePort(QString portName)
{
    setWindowTitle(portName);
    auto stored = portValues.find(portName);
    if (stored == portValues.end())
        stored = portValues.insert(portName, 0.0);
    // Only the server's report back changes the stored value and the items.
    const double newValue = *stored == 0.0 ? 1.0 : 0.0;

    const QStringList fields = portName.split(QLatin1Char('_'));
    if (fields.first() == QLatin1String("ITM"))
        sendToggle(fields, newValue);
    else if (fields.first() == QLatin1String("PAGE") && fields.size() >= 2)
        showPage(fields.at(1));
}

void MainWindow::sendToggle(const QStringList &fields, double value)
{
    // ITM_<object>_OUT<n>; the object name may itself hold "_".
    if (fields.size() < 3)
        return;
    const QString object = fields.mid(1, fields.size() - 2).join(QLatin1Char('_'));
    const QString portText = fields.last();
    static const QRegularExpression outputPort(QStringLiteral("^OUT(\\d{1,9})$"));
    const QRegularExpressionMatch match = outputPort.match(portText);
    if (object.isEmpty() || !match.hasMatch()) {
        // Inputs cannot be switched, and anything else names no output.
        qDebug() << "Not sent, no output port:" << object << portText;
        return;
    }
    qDebug() << "Send" << object << portText << value;
    if (msgClient)
        msgClient->setPortValue(object, match.captured(1).toInt(), true, value);
}

void MainWindow::showPage(const QString &id)
{
    for (Page *page : qAsConst(pages))
        page->setVisible(false);
    for (Page *page : qAsConst(pages)) {
        if (page->toolTip() == id)
            page->setVisible(true);
    }
}

void MainWindow::onTimeout()
{
    // Without a client (no project loaded) there is nothing connected.
    bool connected = msgClient && msgClient->socket.state() == QAbstractSocket::ConnectedState;

    // Replace the icon only on a change of state.
    if (connected && !lastShownConnected)
        ui->pushButtonConnection->setIcon(QIcon(QStringLiteral(":/icons/ok")));
    else if (!connected && lastShownConnected)
        ui->pushButtonConnection->setIcon(QIcon(QStringLiteral(":/icons/error")));

    if (!connected && msgClient) {
        // Non-blocking: the result shows at the next check.
        msgClient->connectToServer();
        connected = msgClient->socket.state() == QAbstractSocket::ConnectedState;
    }
    lastShownConnected = connected;
}

void MainWindow::updateGUI()
{
    // processEvents() below must not start a second walk inside this one.
    if (updating)
        return;
    QElapsedTimer elapsed;
    elapsed.start();
    if (portValues.isEmpty())
        return;
    setWindowTitle(QStringLiteral("STATES %1 ms / icon at %2 / %3")
                       .arg(lastUpdateDuration / 100)
                       .arg(updatePosition)
                       .arg(portValues.size()));

    updating = true;
    for (int k = 0; k < 100; ++k) {
        // Events processed below may have added keys: look the key up afresh
        // every visit, and hold nothing into the maps across processEvents().
        if (updateKeys.size() != portValues.size())
            updateKeys = portValues.keys();
        if (updatePosition >= updateKeys.size())
            updatePosition = 0;
        const QString key = updateKeys.at(updatePosition);
        if (portChanged.value(key, false)) {
            const double value = portValues.value(key);
            for (Page *page : qAsConst(pages))
                page->setPortValue(key, value);
            portChanged.insert(key, false);
        }
        if (++updatePosition >= portValues.size())
            updatePosition = 0;
        if (k % 10 == 0)
            QCoreApplication::processEvents();
    }
    updating = false;
    lastUpdateDuration = elapsed.elapsed();
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
