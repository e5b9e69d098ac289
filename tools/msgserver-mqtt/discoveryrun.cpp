#include "discoveryrun.h"

#include "bridgelog.h"
#include "mqttbridge.h"
#include "retainedreader.h"

#include <QCoreApplication>

namespace {

MqttConnection::Settings discoverySettings(const BridgeConfig &config, const QString &prefix)
{
    MqttConnection::Settings settings = MqttBridge::brokerSettings(config);
    settings.topics = QStringList{prefix + QStringLiteral("/+/+/config"), prefix + QStringLiteral("/+/+/+/config")};
    settings.maxPayloadBytes = DiscoveryRun::maxDocumentBytes;
    return settings;
}

} // namespace

DiscoveryRun::DiscoveryRun(const BridgeConfig &config, const QString &prefix, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_prefix(prefix)
    , m_report(config, prefix)
    , m_reader(new RetainedReader(discoverySettings(config, prefix), QStringLiteral("-discover"), config.url, this))
{
    connect(m_reader, &RetainedReader::problem, this, [this](const QString &text, bool fatal) {
        ++m_problems;
        qCWarning(lcCheck).noquote() << QStringLiteral("--discover: ") + text;
        if (fatal) {
            m_failed = true;
            finish();
        }
    });
    connect(m_reader, &RetainedReader::message, this,
            [this](const QString &topic, const QByteArray &payload) {
                // An empty retained document is a deleted one; the broker hands none over.
                if (m_report.documents() < maxDocuments)
                    m_report.add(topic, payload);
                else if (m_report.documents() == maxDocuments)
                    qCWarning(lcCheck).noquote()
                        << QStringLiteral("--discover: more than %1 documents; the rest is left out").arg(maxDocuments);
            });
    connect(m_reader, &RetainedReader::settled, this, &DiscoveryRun::finish);
}

int DiscoveryRun::run()
{
    m_reader->start();
    QCoreApplication::exec();
    return m_failed ? 2 : 0;
}

void DiscoveryRun::finish()
{
    if (m_done)
        return;
    m_done = true;
    if (!m_failed) {
        int ports = 0;
        qCInfo(lcCheck).noquote() << m_report.render(&ports).chopped(1); // it ends in a line feed
        if (m_report.documents() == 0)
            qCWarning(lcCheck).noquote()
                << QStringLiteral("--discover: no discovery documents under %1/ (another discovery prefix, or an "
                                  "ACL that withholds them?)")
                       .arg(m_prefix);
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}
