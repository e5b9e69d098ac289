#ifndef PRESSHANDLER_H
#define PRESSHANDLER_H

#include <QString>

#include <functional>

class LiveState;

// What a press on an item asks for, by the text the item sends: a state key
// of an output switches it to the value the live state toggles to,
// "PAGE_<id>" shows that page. Every text enters the live state; only the
// server's report back changes the stored value.
class PressHandler
{
public:
    using Send = std::function<void(const QString &object, int port, double value)>;
    using ShowPage = std::function<void(const QString &id)>;

    PressHandler(LiveState &live, Send send, ShowPage showPage);

    void press(const QString &text);

private:
    LiveState &m_live;
    Send m_send;
    ShowPage m_showPage;
};

#endif // PRESSHANDLER_H
