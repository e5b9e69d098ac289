#include "gui/wall/inputfilter.h"

#include "core/wall/idlewatch.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>

InputFilter::InputFilter(IdleWatch *watch, QObject *parent)
    : QObject(parent)
    , m_watch(watch)
{
}

bool InputFilter::eventFilter(QObject *watched, QEvent *event)
{
    Q_UNUSED(watched)
    // An event passes here once for the window and again for the widget it
    // goes to; swallowed at the first, it never reaches the second.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::TouchBegin:
    case QEvent::KeyPress:
        if (m_swallowing)
            return true;
        if (!m_watch->input())
            return false;
        m_swallowing = true;
        emit woke();
        return true;
    case QEvent::MouseMove:
    case QEvent::TouchUpdate:
    case QEvent::Wheel:
        return m_swallowing;
    case QEvent::MouseButtonRelease:
        // The gesture ends with the last button.
        if (!m_swallowing)
            return false;
        m_swallowing = static_cast<QMouseEvent *>(event)->buttons() != Qt::NoButton;
        return true;
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
        if (!m_swallowing)
            return false;
        m_swallowing = false;
        return true;
    case QEvent::KeyRelease:
        if (!m_swallowing)
            return false;
        m_swallowing = static_cast<QKeyEvent *>(event)->isAutoRepeat();
        return true;
    default:
        return false;
    }
}
