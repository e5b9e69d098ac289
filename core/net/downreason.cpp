#include "core/net/downreason.h"

#include <utility>

DownReason::DownReason(Kind kind, QString detail)
    : m_kind(kind)
    , m_detail(std::move(detail))
{
}

QString DownReason::operatorText() const
{
    switch (m_kind) {
    case LoginRefused:
        return tr("Anmeldung abgelehnt");
    case Unreachable:
        return tr("Server nicht erreichbar");
    case NoAnswer:
        return tr("Keine Antwort vom Server");
    case Dropped:
        return tr("Verbindung unterbrochen");
    case None:
        break;
    }
    return QString();
}

QString DownReason::line(const QString &server, const QString &user) const
{
    const QString detail = m_detail.isEmpty() ? QString() : QStringLiteral(": ") + m_detail;
    switch (m_kind) {
    case LoginRefused:
        return QStringLiteral("Message server %1 refused the login of user \"%2\"; the project's user name or "
                              "password is not the server's")
            .arg(server, user);
    case Unreachable:
        return QStringLiteral("Message server %1 not reachable%2").arg(server, detail);
    case NoAnswer:
        return QStringLiteral("Message server %1 does not answer%2").arg(server, detail);
    case Dropped:
        return QStringLiteral("Message server %1 ended the connection%2").arg(server, detail);
    case None:
        break;
    }
    return QString();
}
