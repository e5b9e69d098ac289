#include "gui/wall/screensaver.h"

#include <QDateTime>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>

ScreenSaver::ScreenSaver(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("screenSaver"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_minuteTimer.setSingleShot(true);
    connect(&m_minuteTimer, &QTimer::timeout, this, [this] {
        update();
        armMinuteTimer();
    });
    hide();
}

QPoint ScreenSaver::place(qint64 minute, const QSize &area, const QSize &text)
{
    // A cheap integer hash spreads consecutive minutes over the whole area.
    quint32 h = quint32(minute) * 2654435761u;
    h ^= h >> 15;
    h *= 2246822519u;
    h ^= h >> 13;
    const quint32 spanX = quint32(qMax(0, area.width() - text.width())) + 1;
    const quint32 spanY = quint32(qMax(0, area.height() - text.height())) + 1;
    return QPoint(int((h & 0xffff) % spanX), int((h >> 16) % spanY));
}

void ScreenSaver::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);

    const QDateTime now = QDateTime::currentDateTime();
    const QString text = now.time().toString(QStringLiteral("HH:mm"));
    QFont font(QStringLiteral("Prototype"));
    font.setPixelSize(qMax(12, qMin(width(), height()) / 8));
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const QSize textSize(metrics.horizontalAdvance(text), metrics.height());
    const QPoint at = place(now.toMSecsSinceEpoch() / 60000, size(), textSize);
    // Dim grey: readable in a dark hall, and gentle on the screen.
    painter.setPen(QColor(0x70, 0x70, 0x70));
    painter.drawText(at.x(), at.y() + metrics.ascent(), text);
}

void ScreenSaver::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    armMinuteTimer();
}

void ScreenSaver::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_minuteTimer.stop();
}

void ScreenSaver::armMinuteTimer()
{
    // Just past the turn of the minute, so the new minute is drawn.
    const int intoMinute = QTime::currentTime().msecsSinceStartOfDay() % 60000;
    m_minuteTimer.start(60000 - intoMinute + 50);
}
