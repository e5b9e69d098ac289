#include "core/live/presshandler.h"

#include "core/bus/portid.h"
#include "core/live/livestate.h"
#include "core/logging/logcategories.h"

#include <QStringList>

#include <utility>

PressHandler::PressHandler(LiveState &live, Send send, ShowPage showPage)
    : m_live(live)
    , m_send(std::move(send))
    , m_showPage(std::move(showPage))
{
}

void PressHandler::press(const QString &text)
{
    const double value = m_live.toggle(text);
    const QStringList fields = text.split(QLatin1Char('_'));
    if (fields.first() == QLatin1String("PAGE")) {
        if (fields.size() >= 2)
            m_showPage(fields.at(1));
        return;
    }
    const PortId key = PortId::fromStateKey(text);
    if (!key.isValid() || !key.isOutput()) {
        // Inputs cannot be switched, and anything else names no output.
        qCDebug(lcLive) << "Not sent, no output port:" << text;
        return;
    }
    qCDebug(lcLive) << "Send" << key.object() << key.port() << value;
    m_send(key.object(), key.port(), value);
}
