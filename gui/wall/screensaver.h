#ifndef SCREENSAVER_H
#define SCREENSAVER_H

#include <QPoint>
#include <QSize>
#include <QTimer>
#include <QWidget>

// Covers an unattended panel: black, with the time of day (hours and
// minutes) in the panel's font, moved to another place every minute so that
// nothing burns into the screen.
class ScreenSaver : public QWidget
{
    Q_OBJECT

public:
    explicit ScreenSaver(QWidget *parent = nullptr);

    // Where a text of size `text` stands inside `area` during minute number
    // `minute`: a scattered place, inside the area whenever the text fits.
    static QPoint place(qint64 minute, const QSize &area, const QSize &text);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void armMinuteTimer();

    QTimer m_minuteTimer;
};

#endif // SCREENSAVER_H
