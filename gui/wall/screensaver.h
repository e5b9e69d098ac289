#ifndef SCREENSAVER_H
#define SCREENSAVER_H

#include <QPoint>
#include <QSize>
#include <QTimer>
#include <QWidget>

// Covers an unattended panel: black, with the time of day (hours and
// minutes) and the date beside it in the panel's font, moved to another
// place every minute so that nothing burns into the screen. A red mark
// before the time says that the values behind it are stale.
class ScreenSaver : public QWidget
{
    Q_OBJECT

public:
    explicit ScreenSaver(QWidget *parent = nullptr);

    // Where a text of size `text` stands inside `area` during minute number
    // `minute`: a scattered place, inside the area whenever the text fits.
    static QPoint place(qint64 minute, const QSize &area, const QSize &text);

    // The connection is down for long enough that the values are stale.
    void setStale(bool stale);
    bool isStale() const { return m_stale; }
    // The date as the saver shows it, in the panel's language.
    static QString dateText(const QDate &date);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void armMinuteTimer();

    QTimer m_minuteTimer;
    bool m_stale = false;
};

#endif // SCREENSAVER_H
