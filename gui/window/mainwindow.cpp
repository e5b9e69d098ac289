#include "gui/window/mainwindow.h"
#include "gui/logging/guilogcategories.h"
#include "ui_mainwindow.h"

#include "gui/dialogs/dialogprogress.h"
#include "core/package/packagereport.h"
#include "gui/window/projectloader.h"
#include "gui/wall/wallpanel.h"
#include "gui/items/item.h"
#include "core/net/qalixmsgclient.h"
#include "gui/dialogs/dialogoptions.h"
#include "gui/dialogs/dialogselectproject.h"
#include "gui/window/noprojectnotice.h"
#include "gui/pages/page.h"
#include "core/package/qlxfat.h"
#include "core/bus/portid.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QIcon>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>

#include <algorithm>
#include <utility>

const QSize MainWindow::fallbackPageSize(400, 300);

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_ui(new Ui::MainWindow)
    , m_connectionWatch([this] { return m_client && m_client->isConnected(); },
                        [this] {
                            // Non-blocking: the result shows at the next check.
                            if (m_client)
                                m_client->connectToServer();
                        },
                        [this](bool connected) {
                            m_ui->pushButtonConnection->setIcon(
                                QIcon(connected ? QStringLiteral(":/icons/ok") : QStringLiteral(":/icons/error")));
                        })
    , m_press(
          m_live,
          [this](const QString &object, int port, double value) {
              if (m_client)
                  m_client->setPortValue(object, port, true, value);
              // Also without a connection: that press is unanswered too.
              if (m_wall)
                  m_wall->sent(PortId(PortId::Out, object, port).toStateKey());
          },
          [this](const QString &id) { showPage(id); })
{
    m_ui->setupUi(this); // also connects the buttons to the on_<name>_clicked slots
    connect(&m_connectionTimer, &QTimer::timeout, this, &MainWindow::onTimeout);
    connect(&m_updateTimer, &QTimer::timeout, this, &MainWindow::updateGUI);
    connect(&m_live, &LiveState::status, this, &QWidget::setWindowTitle);
    // Every page hears of every due value; each finds its own items by key.
    connect(&m_live, &LiveState::valueDue, this, [this](const QString &key, double value) {
        for (Page *page : std::as_const(m_pages))
            page->setPortValue(key, value);
        if (m_wall)
            m_wall->delivered(key, value);
    });
    connect(&m_live, &LiveState::valueUnknown, this, [this](const QString &key) {
        if (m_wall)
            m_wall->unknown(key);
    });
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, [this](QScreen *screen) {
        followScreen(screen);
        screenChanged();
    });
    followScreen(QGuiApplication::primaryScreen());
    hide();
}

MainWindow::~MainWindow()
{
    delete m_ui;
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
    if (m_pageX > 0 && m_pageY > 0)
        return QSize(m_pageX, m_pageY);
    // A window fixed to a zero size could never be seen or closed.
    qCDebug(lcWindow) << "Page size" << m_pageX << "x" << m_pageY << "unusable, window uses" << fallbackPageSize;
    return fallbackPageSize;
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    if (!m_fullscreen) {
        const QSize size = windowedSize();
        setMinimumSize(size);
        setMaximumSize(size);
        for (Page *page : std::as_const(m_pages)) {
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
    qCDebug(lcWindow) << "Icon Size" << icon;
    qCDebug(lcWindow) << "Set Exit to" << placement.exit;
    qCDebug(lcWindow) << "Set Options to" << placement.options;
    qCDebug(lcWindow) << "Set ConnectionButton to" << placement.connection;

    const std::pair<QPushButton *, QRect> buttons[] = {
        {m_ui->pushButton, placement.exit},
        {m_ui->pushButtonOptions, placement.options},
        {m_ui->pushButtonConnection, placement.connection},
    };
    for (const auto &button : buttons) {
        button.first->setGeometry(button.second);
        button.first->setMinimumSize(button.second.size());
        button.first->setMaximumSize(button.second.size());
        button.first->setIconSize(icon);
        button.first->raise(); // above the pages
    }
    if (m_wall)
        m_wall->place(placement.connection);
    if (m_notice) {
        // Below the buttons' row, which stays in reach above it.
        const int top = placement.connection.bottom() + 1;
        m_notice->fit(QRect(0, top, width(), height() - top));
        for (const auto &button : buttons)
            button.first->raise();
    }
}

void MainWindow::setFullscreen()
{
    if (!isVisible())
        return;
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    qCDebug(lcWindow) << "Set Fullscreen" << area;
    // With every screen unplugged Qt may offer none, or one of no size:
    // the last fit stays until a screen comes back.
    if (area.isEmpty())
        return;
    m_fittedArea = area;
    setFixedSize(area.size());
    const double factor = zoomFactor(area.size(), m_pageX, m_pageY);
    qCDebug(lcWindow) << "Page zoom" << factor;
    for (Page *page : std::as_const(m_pages)) {
        page->setFixedSize(area.size());
        page->setScale(factor);
    }
}

void MainWindow::followScreen(QScreen *screen)
{
    disconnect(m_screenWatch);
    if (screen)
        m_screenWatch = connect(screen, &QScreen::availableGeometryChanged, this, &MainWindow::screenChanged);
}

void MainWindow::screenChanged()
{
    if (!m_fullscreen || !isVisible())
        return;
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    if (area == m_fittedArea)
        return;
    if (area.isEmpty()) {
        qCritical().noquote() << "Screen: none connected; the window keeps its size until one is";
        return;
    }
    setFullscreen();
    // The window may have had its new size already (the window manager is
    // quicker than the screen's news), so no resize event places them.
    placeButtons();
    qCritical().noquote() << QStringLiteral("Screen: now %1 x %2 (%3); the pages are zoomed to it")
                                 .arg(area.width())
                                 .arg(area.height())
                                 .arg(screen->name());
}

bool MainWindow::loadProject(const QString &path)
{
    DialogProgress progress;
    progress.show();

    QLXFat package;
    if (!package.open(path, false)) {
        qCritical().noquote() << ProjectLoader::failureLine(
            path, QStringLiteral("cannot be opened, ") + package.errorString());
        // Without it the operator would see an empty window as if all went well.
        const QString why = PackageReport::openFailureText(path, package.openError());
        ProjectLoader::showMessage(why);
        noteLoad(why);
        return false;
    }

    // A package cut short is reported once; what lies wholly inside it loads.
    const QString cutShort = PackageReport::cutShortLine(package);
    if (!cutShort.isEmpty()) {
        qCritical().noquote() << ProjectLoader::failureLine(path, cutShort);
        ProjectLoader::showMessage(PackageReport::damagedText(path));
    }

    ProjectLoader loader(&progress);
    const QByteArray document = package.fileData(QStringLiteral("project"));
    loader.startReading(document);
    loader.startPictures(package);
    loader.readDocument(document, &m_pages, m_ui->centralWidget,
                        [this](Item *item) { connect(item, &Item::changePort, this, &MainWindow::onChangePort); });
    m_pageX = loader.pageX();
    m_pageY = loader.pageY();
    m_connection = loader.connection();
    if (!loader.documentError().isEmpty()) {
        const QString problem = PackageReport::documentLine(package, document.size(), loader.documentError());
        if (!problem.isEmpty())
            qCritical().noquote() << ProjectLoader::failureLine(path, problem);
    } else if (m_pageX <= 0 || m_pageY <= 0) {
        // A side beyond what a screen holds counts as none.
        const QSize declared = loader.declaredPageSize();
        const bool beyond =
            declared.width() > ProjectLoader::maxPageSide || declared.height() > ProjectLoader::maxPageSide;
        qCritical().noquote() << ProjectLoader::failureLine(
            path,
            QStringLiteral("page size %1 x %2 unusable%3, the window takes %4 x %5")
                .arg(declared.width())
                .arg(declared.height())
                .arg(beyond ? QStringLiteral(" (a side beyond %1 px)").arg(ProjectLoader::maxPageSide) : QString())
                .arg(fallbackPageSize.width())
                .arg(fallbackPageSize.height()));
    }
    for (const QString &problem : loader.documentProblems())
        qCritical().noquote() << ProjectLoader::failureLine(path, problem);
    for (Page *page : std::as_const(m_pages))
        feedPage(page);

    if (!m_pages.isEmpty())
        m_pages.first()->show();
    resizeEvent(nullptr);

    QalixMsgClient::Settings settings;
    settings.host = m_connection.host;
    settings.userName = m_connection.username;
    settings.password = m_connection.password;
    setClient(new QalixMsgClient(settings, this));
    startTimers();
    noteLoad(tr("Im Package \"%1\" ist keine Seite.").arg(path));
    return true;
}

void MainWindow::noteLoad(const QString &why)
{
    if (!m_pages.isEmpty()) {
        if (m_notice)
            m_notice->hide();
        return;
    }
    if (!m_notice) {
        m_notice = new NoProjectNotice(m_ui->centralWidget);
        connect(m_notice, &NoProjectNotice::chooseProject, this, &MainWindow::chooseProject);
    }
    m_notice->setReason(why);
    m_notice->show();
    placeButtons();
}

void MainWindow::chooseProject()
{
    if (m_wall && !m_wall->unlock())
        return;
    DialogSelectProject dialog;
    dialog.setWindowTitle(QStringLiteral("Qalix-PLUS-Control"));
    dialog.setTouch(m_touch);
    if (dialog.exec() == QDialog::Accepted)
        loadProject(dialog.selectedProject());
}

void MainWindow::addPage(Page *page)
{
    page->setParent(m_ui->centralWidget);
    page->hide();
    m_pages.append(page);
    feedPage(page);
}

void MainWindow::feedPage(Page *page)
{
    // The live state walks only what items are bound to.
    const QStringList keys = page->boundKeys();
    for (const QString &key : keys)
        m_live.bind(key);
    connect(page, &Page::portBound, &m_live, &LiveState::bind, Qt::UniqueConnection);
    // A page built after values came in takes the newest of its keys.
    page->setValueSource([this](const QString &key, double *value) { return m_live.reportedValue(key, value); });
    if (m_wall)
        m_wall->watchPage(page);
}

void MainWindow::setWallOptions(const StartOptions &options, std::function<qint64()> clock)
{
    m_touch = options.touch;
    if (m_wall
        || (options.homeSeconds <= 0 && options.dimSeconds <= 0 && options.staleSeconds <= 0
            && options.pinFile.isEmpty() && !options.touch && options.wakeKeys.isEmpty()))
        return;
    m_wall = new WallPanel(options, this, &m_pages, std::move(clock));
    // Walked like an item's port, shown on a page or not.
    for (const QString &key : m_wall->wakeKeys())
        m_live.bind(key);
    for (Page *page : std::as_const(m_pages))
        m_wall->watchPage(page);
    m_wall->watchClient(m_client);
    placeButtons();
}

void MainWindow::setPageSize(const QSize &size)
{
    m_pageX = size.width();
    m_pageY = size.height();
}

void MainWindow::setClient(QalixMsgClient *client)
{
    if (m_client == client)
        return;
    delete m_client;
    m_client = client;
    if (!client)
        return;
    client->setParent(this);
    connect(client, &QalixMsgClient::received, &m_live, &LiveState::onReceived);
    // Only a panel that can show a value as unknown acts on the news; without
    // -stale the items keep the looks they have always had.
    connect(client, &QalixMsgClient::receivedUnknown, this, [this](const QString &object, int port, bool output) {
        if (m_wall && m_wall->showsStale())
            m_live.onUnknown(object, port, output);
    });
    if (m_wall)
        m_wall->watchClient(client);
}

void MainWindow::startTimers()
{
    m_connectionTimer.start(5000);
    m_updateTimer.start(10);
}

void MainWindow::onChangePort(QString portName)
{
    setWindowTitle(portName);
    m_press.press(portName);
}

void MainWindow::showPage(const QString &id)
{
    if (m_wall)
        m_wall->pageChanged();
    for (Page *page : std::as_const(m_pages))
        page->setVisible(false);
    for (Page *page : std::as_const(m_pages)) {
        if (page->toolTip() == id)
            page->setVisible(true);
    }
}

void MainWindow::onTimeout()
{
    m_connectionWatch.check();
}

void MainWindow::updateGUI()
{
    m_live.tick();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_wall && m_wall->isLocked() && !m_closeUnlocked) {
        event->ignore();
        // Asked for after this event, not inside it; a pad already up answers it.
        QTimer::singleShot(0, this, &MainWindow::on_pushButton_clicked);
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::on_pushButton_clicked()
{
    if (m_wall && !m_wall->unlock())
        return;
    m_closeUnlocked = true;
    close();
}

void MainWindow::on_pushButtonOptions_clicked()
{
    if (m_wall && !m_wall->unlock())
        return;
    // Saved options take effect only at the next start, so saving ends the program.
    DialogOptions dialog;
    if (dialog.exec() == QDialog::Accepted) {
        m_closeUnlocked = true;
        close();
    }
}
