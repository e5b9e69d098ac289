#ifndef INPUTFILTER_H
#define INPUTFILTER_H

#include <QObject>

class IdleWatch;

// Sees every touch, click and key of the application before any widget does
// and reports it to the idle watch. The input that wakes the panel from its
// screen saver is swallowed whole: the press and everything up to its
// release, or the key, so it neither reaches the item under it nor sends
// anything to the message server.
class InputFilter : public QObject
{
    Q_OBJECT

public:
    explicit InputFilter(IdleWatch *watch, QObject *parent = nullptr);

signals:
    // An input ended the screen saver.
    void woke();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    IdleWatch *m_watch;
    // Inside the gesture that woke the panel.
    bool m_swallowing = false;
};

#endif // INPUTFILTER_H
