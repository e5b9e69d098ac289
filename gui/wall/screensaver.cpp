#include "gui/wall/screensaver.h"

#include <QDateTime>
#include <QFont>
#include <QFontMetrics>
#include <QLocale>
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

void ScreenSaver::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    update();
}

QString ScreenSaver::dateText(const QDate &date)
{
    //: The saver's date: a format of QDate::toString, with the day's name.
    return QLocale().toString(date, tr("ddd d. MMMM yyyy"));
}

void ScreenSaver::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);

    const QDateTime now = QDateTime::currentDateTime();
    const QString time = now.time().toString(QStringLiteral("HH:mm"));
    const QString date = dateText(now.date());
    QFont font(QStringLiteral("Prototype"));
    font.setPixelSize(qMax(12, qMin(width(), height()) / 8));
    QFont small = font;
    small.setPixelSize(qMax(8, font.pixelSize() / 3));
    const QFontMetrics metrics(font);
    const QFontMetrics smallMetrics(small);
    const int mark = metrics.ascent() / 3; // the red dot's diameter
    const int gap = metrics.horizontalAdvance(QLatin1Char(' '));
    const int markRoom = m_stale ? mark + gap : 0;
    const QSize textSize(markRoom + metrics.horizontalAdvance(time) + gap + smallMetrics.horizontalAdvance(date),
                         metrics.height());
    const QPoint at = place(now.toMSecsSinceEpoch() / 60000, size(), textSize);
    const int baseline = at.y() + metrics.ascent();
    if (m_stale) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xD0, 0x10, 0x10));
        painter.drawEllipse(QRect(at.x(), baseline - metrics.ascent() / 2 - mark / 2, mark, mark));
    }
    // Dim grey: readable in a dark hall, and gentle on the screen.
    painter.setPen(QColor(0x70, 0x70, 0x70));
    painter.setFont(font);
    painter.drawText(at.x() + markRoom, baseline, time);
    painter.setFont(small);
    painter.drawText(at.x() + markRoom + metrics.horizontalAdvance(time) + gap, baseline, date);
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
