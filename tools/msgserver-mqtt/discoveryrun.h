#ifndef DISCOVERYRUN_H
#define DISCOVERYRUN_H

#include "bridgeconfig.h"
#include "discoveryreport.h"

#include <QObject>

class RetainedReader;

// --discover: the retained Home Assistant discovery documents on the
// broker, read through the configuration's [broker] section, printed as
// port sections on standard output.
class DiscoveryRun : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxDocumentBytes = 1024 * 1024; // a device document holds all of its entities
    static constexpr int maxDocuments = 100000;

    DiscoveryRun(const BridgeConfig &config, const QString &prefix, QObject *parent = nullptr);

    // Runs the event loop until the documents are in: 0 when they were read, 2 when not.
    int run();

private:
    void finish();

    BridgeConfig m_config;
    QString m_prefix;
    DiscoveryReport m_report;
    RetainedReader *m_reader;
    int m_problems = 0;
    bool m_failed = false;
    bool m_done = false;
};

#endif // DISCOVERYRUN_H
