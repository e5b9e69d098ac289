// End to end: msgserver-sim sends 100,000 reports in one burst to a panel
// window with 5,000 items on 20 pages; every key's newest value must reach its
// items. Prints the time from the first report to the last value on its items,
// against the walk's own time for the keys (one visit each, 100 a 10 ms tick),
// and the longest stall of the event loop meanwhile. `--log` writes the
// "Data" lines as the panel does, one flushed line each, to /dev/null.

#include "bench/benchsupport.h"
#include "core/startup/messagehandler.h"
#include "gui/window/mainwindow.h"
#include "gui/items/item.h"
#include "gui/items/itemadctext.h"
#include "core/net/qalixmsgclient.h"
#include "gui/pages/page.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <unistd.h>

namespace {

int dataLines = 0;

bool panelLog = false;

void quiet(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // The panel writes one "Data" line per report: counted, and with --log
    // written as the panel writes it (to /dev/null), else not printed.
    if (type == QtInfoMsg && message.startsWith(QLatin1String("Data "))) {
        ++dataLines;
        if (panelLog)
            messageHandler(type, context, message);
    } else if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    offscreenUnlessSet();
    QApplication app(argc, argv);
    qInstallMessageHandler(quiet);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    panelLog = arguments.contains(QStringLiteral("--log"));
    const int reports =
        !arguments.isEmpty() && arguments.first() != QLatin1String("--log") ? arguments.first().toInt() : 100000;
    // The panel's standard output, flushed line by line, goes to /dev/null here.
    const int figures = dup(STDOUT_FILENO);
    if (panelLog && !std::freopen("/dev/null", "w", stdout))
        return 1;
    const int keyCount = 5000;
    const int pageCount = 20;

    QTemporaryFile portList;
    portList.open();
    for (int key = 0; key < keyCount; ++key)
        portList.write(benchPort(key).toLatin1Address() + " switch 0\n");
    portList.close();

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../msgserver-sim"),
              {"--port", "0", "--ready-after", "0", "--interval", "0", "--ports", portList.fileName(), "--burst",
               QString::number(reports)});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "msgserver-sim did not start\n");
        return 1;
    }
    const QRegularExpressionMatch match = QRegularExpression(":(\\d+) with").match(QString::fromLatin1(sim.readLine()));
    const quint16 port = quint16(match.captured(1).toUInt());

    MainWindow window;
    const BenchPages pages(window, pageCount, keyCount,
                           [](int key) { return key % 2 ? ItemKind::ADCText : ItemKind::StateButton; });
    const std::vector<Item *> &items = pages.items;
    window.pages().first()->show();
    window.resize(1024, 768);
    window.show();
    QApplication::processEvents();

    // The value the burst leaves on each key: the last report of the cycle through the ports.
    const auto expected = [&](int key) { return double(key + 1 + keyCount * ((reports - 1 - key) / keyCount)); };

    int received = 0;
    QElapsedTimer total;
    qint64 firstReport = -1;
    qint64 lastReport = 0;
    qint64 lastApplied = 0;
    QalixMsgClient::Settings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = port;
    settings.userName = settings.password = QStringLiteral("demo");
    window.setClient(new QalixMsgClient(settings));
    QObject::connect(window.client(), &QalixMsgClient::received, [&] {
        if (received++ == 0)
            firstReport = total.elapsed();
        lastReport = total.elapsed();
    });
    QObject::connect(&window.liveState(), &LiveState::valueDue, [&] { lastApplied = total.elapsed(); });
    window.startTimers();

    total.start();
    qint64 lastBeat = 0;
    qint64 longestStall = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = total.elapsed();
        longestStall = std::max(longestStall, now - lastBeat);
        lastBeat = now;
        // Snapshot of every key plus the burst.
        if (received < keyCount + reports)
            return;
        if (!window.liveState().hasChanges())
            QCoreApplication::quit();
    });
    heartbeat.start(10);
    QTimer::singleShot(300000, [] { QCoreApplication::quit(); });
    QApplication::exec();

    int wrong = 0;
    for (int key = 0; key < keyCount; ++key) {
        Item *item = items[size_t(key)];
        // State buttons remember the value, analogue texts show it.
        wrong += qobject_cast<ItemADCText *>(item)
            ? item->text() != QString::asprintf("%.*f", item->record().digits, expected(key))
            : item->lastValue() != expected(key);
    }
    if (panelLog) {
        std::fflush(stdout);
        dup2(figures, STDOUT_FILENO);
    }
    const qint64 walk = (keyCount + LiveState::visitsPerTick - 1) / LiveState::visitsPerTick * 10;
    std::printf("%d reports (%d + a snapshot of %d keys) to %d items on %d pages\n", received, reports, keyCount,
                keyCount, pageCount);
    std::printf("from the first report: all received after %lld ms, all on their items after %lld ms"
                " (%.2f x the walk's %lld ms)\n",
                lastReport - firstReport, lastApplied - firstReport, double(lastApplied - firstReport) / walk, walk);
    std::printf("newest value on every item: %s (%d wrong); %d \"Data\" lines logged\n", wrong ? "NO" : "yes", wrong,
                dataLines);
    std::printf("longest gap between 10 ms heartbeats: %lld ms\n", longestStall);
    sim.kill();
    sim.waitForFinished(5000);
    return wrong ? 1 : 0;
}
