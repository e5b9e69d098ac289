#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QList>
#include <QMainWindow>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>

#include "core/live/livestate.h"
#include "core/live/presshandler.h"
#include "core/net/connectionwatch.h"
#include "core/project/projectreader.h"
#include "core/startup/startoptions.h"

#include <functional>

class NoProjectNotice;
class Page;
class QalixMsgClient;
class QCloseEvent;
class QResizeEvent;
class QScreen;
class WallPanel;

namespace Ui {
class MainWindow;
}

// The panel's one top-level window: the project's pages fill it, three
// square buttons (exit, options, connection state) sit in its top right
// corner, and everything scales with the window or the screen.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Where the three corner buttons go for a window size.
    struct ButtonPlacement
    {
        int iconEdge = 0;
        QRect exit;
        QRect options;
        QRect connection;
    };

    // The size the window is fixed to while a project gives no usable page
    // size: the form's own design size.
    static const QSize fallbackPageSize;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    static ButtonPlacement buttonPlacement(const QSize &windowSize);
    // The zoom that fits a page design onto a screen area: the width on a
    // portrait screen, the height otherwise. 1.0 when the page size needed
    // for that is not positive.
    static double zoomFactor(const QSize &screen, int pageX, int pageY);

    // Fits the window and every page to the primary screen's available
    // area; does nothing while the window is hidden or there is no screen.
    // Full screen, it is fitted again whenever that area changes (a screen
    // plugged in or out, turned, or given another mode).
    void setFullscreen();
    bool loadProject(const QString &path);

    // Full screen (set by start-up before the window is shown) or windowed.
    bool isFullscreenMode() const { return m_fullscreen; }
    void setFullscreenMode(bool fullscreen) { m_fullscreen = fullscreen; }

    const QList<Page *> &pages() const { return m_pages; }
    // Takes `page` as the next page: a child of the central widget, hidden,
    // fed by the live state. Loading adds the project's pages this way.
    void addPage(Page *page);
    // The design size of a page, from the project.
    QSize pageSize() const { return QSize(m_pageX, m_pageY); }
    void setPageSize(const QSize &size);
    const ProjectReader::Connection &connection() const { return m_connection; }

    LiveState &liveState() { return m_live; }
    QalixMsgClient *client() const { return m_client; }
    // Takes `client` (its parent becomes the window) as the message server
    // link: its reports go to the live state, presses go out through it.
    void setClient(QalixMsgClient *client);
    // The connection check (5 s) and the live update (10 ms).
    void startTimers();
    const QTimer &connectionTimer() const { return m_connectionTimer; }
    const QTimer &updateTimer() const { return m_updateTimer; }

    // Puts the wall-panel switches (-home, -dim, -stale, -lock) to work;
    // without any of them nothing changes. `clock` replaces the monotonic
    // clock in milliseconds (tests).
    void setWallOptions(const StartOptions &options, std::function<qint64()> clock = {});
    WallPanel *wallPanel() const { return m_wall; }
    // Shown in place of pages while no project has given any; null before.
    const NoProjectNotice *noProjectNotice() const { return m_notice; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    // Under -lock the window manager's close (Alt+F4, a title bar's X) asks
    // for the PIN as the exit button does, and the window stays until it is
    // given.
    void closeEvent(QCloseEvent *event) override;

public slots:
    void onChangePort(QString portName);
    void onTimeout();
    void updateGUI();
    void on_pushButton_clicked();
    void on_pushButtonOptions_clicked();
    // The start dialog, from the page shown while no project is loaded; the
    // project picked there loads in place of none.
    void chooseProject();

private:
    void showPage(const QString &id);
    // The page size to fix the window to in windowed mode.
    QSize windowedSize() const;
    void placeButtons();
    void feedPage(Page *page);
    void followScreen(QScreen *screen);
    void screenChanged();
    // After a load: the notice in place of the pages when there are none.
    void noteLoad(const QString &why);

    bool m_fullscreen = false;
    bool m_closeUnlocked = false; // the exit or options button has had its PIN
    Ui::MainWindow *m_ui;
    QList<Page *> m_pages;
    ProjectReader::Connection m_connection;
    int m_pageX = 0;
    int m_pageY = 0;
    LiveState m_live;
    QTimer m_connectionTimer;
    QTimer m_updateTimer;
    QalixMsgClient *m_client = nullptr;
    WallPanel *m_wall = nullptr;
    NoProjectNotice *m_notice = nullptr;
    bool m_touch = false;
    ConnectionWatch m_connectionWatch;
    QMetaObject::Connection m_screenWatch;
    QRect m_fittedArea;
    PressHandler m_press;
};

#endif // MAINWINDOW_H
