#include "librarylog.h"

namespace {

struct Sign
{
    const char *text;   // in one of the library's lines
    const char *reason; // %1 host, %2 cafile, %3 certfile
};

// First match wins: libmosquitto writes the host name check before
// OpenSSL's general "certificate verify failed".
const Sign signs[] = {
    {"host name verification failed", "TLS: the broker's certificate is not made out to %1 (host name mismatch)"},
    {"certificate verify failed",
     "TLS: the broker's certificate is not trusted by cafile %2 (certificate verify failed)"},
    {"Unable to load CA certificates", "TLS: cafile %2 holds no certificate"},
    {"alert certificate required", "TLS: the broker requires a client certificate (certfile and keyfile)"},
    {"alert unknown ca", "TLS: the broker does not trust the client certificate %3"},
    {"alert bad certificate", "TLS: the broker does not accept the client certificate %3"},
    {"Unable to load client", "TLS: the client certificate or key cannot be loaded (certfile %3)"},
    {"wrong version number", "TLS: the broker does not speak TLS there; a plain MQTT port takes mqtt://"},
    {"unexpected eof while reading",
     "TLS: the broker closed the connection in the handshake; a plain MQTT port takes mqtt://"},
};

} // namespace

void LibraryLog::add(const QString &line)
{
    if (m_lines.size() < maxLines)
        m_lines << line.left(300);
}

QString LibraryLog::reason(const QString &fallback, const Context &context) const
{
    for (const Sign &sign : signs) {
        for (const QString &line : m_lines) {
            if (line.contains(QLatin1String(sign.text))) {
                return QString::fromLatin1(sign.reason)
                    .replace(QLatin1String("%1"), context.host)
                    .replace(QLatin1String("%2"), context.cafile)
                    .replace(QLatin1String("%3"), context.certfile);
            }
        }
    }
    return m_lines.isEmpty() ? fallback : fallback + QStringLiteral(" (") + m_lines.constFirst() + QLatin1Char(')');
}
