#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>

class Page;
class QalixMsgClient;
class QResizeEvent;

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
    // area; does nothing while the window is hidden.
    void setFullscreen();
    bool loadProject(const QString &path);

    bool fullscreen;

private:
    Ui::MainWindow *ui;

public:
    QList<Page *> pages;
    QString host;
    QString username;
    QString password;
    int pageX;
    int pageY;
    QMap<QString, double> portValues;
    QMap<QString, bool> portChanged;
    QTimer connectionTimer;
    QTimer guiTimer;
    QalixMsgClient *msgClient;

    // The live update's walk over portValues, held between ticks: the
    // position of the next key and the milliseconds of the last full tick.
    int updatePosition = 0;
    qint64 lastUpdateDuration = 0;

protected:
    void resizeEvent(QResizeEvent *event) override;

public slots:
    void onReceived(QString object, int port, bool output, double value);
    void onChangePort(QString portName);
    void onTimeout();
    void updateGUI();
    void on_pushButton_clicked();
    void on_pushButtonOptions_clicked();

private:
    // What a pressed item's text asks for, by its first "_"-separated field.
    void sendToggle(const QStringList &fields, double value);
    void showPage(const QString &id);

    // portValues' keys in ascending order, so a tick reaches the key at a
    // position without walking the map. Keys are only ever added, so a
    // size that differs from portValues' means the list is stale.
    QStringList updateKeys;
    bool updating = false;

    // The page size to fix the window to in windowed mode.
    QSize windowedSize() const;
    void placeButtons();
};

#endif // MAINWINDOW_H
