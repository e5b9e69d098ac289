// msgserver-mqtt under load: a publisher paced at a fixed rate sends numbered
// state messages to a broker of its own, the bridge turns them into reports,
// and a panel client counts them and times each from publish to line. The
// bridge's resident memory is sampled along the way.
//
//   bench_mqtt [messages = 1000000] [rate per second = 10000] [payload = plain]
//
// Payloads: plain (the number alone, QoS 0, ports under the prefix), z2m (a
// Zigbee2MQTT sensor's whole JSON object, one section per device with its
// value path and the availability topics the convention adds), qos1 (plain,
// published and delivered with QoS 1).

#include "bench/benchsupport.h"
#include "core/net/qalixmsgclient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <cstdio>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int ports = 100; // values rotate over these, so each report is a change

qint64 nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

long rssKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// User and system time of a process, in milliseconds.
long cpuMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which may hold spaces: utime and stime are the 12th and 13th.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? (fields.at(11).toLong() + fields.at(12).toLong()) * 1000 / sysconf(_SC_CLK_TCK) : -1;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    quietLogging();
    const int total = std::min(argc > 1 ? atoi(argv[1]) : 1000000, 1000000);
    const int rate = argc > 2 ? atoi(argv[2]) : 10000;
    const QByteArray kind = argc > 3 ? QByteArray(argv[3]) : QByteArrayLiteral("plain");
    if (kind != "plain" && kind != "z2m" && kind != "qos1") {
        std::fprintf(stderr, "bench_mqtt: payload is plain, z2m or qos1, not %s\n", kind.constData());
        return 2;
    }
    const bool z2m = kind == "z2m";
    const int qos = kind == "qos1" ? 1 : 0;

    QTemporaryDir dir;
    const quint16 brokerPort = freePort();
    QFile conf(dir.filePath("mosquitto.conf"));
    conf.open(QIODevice::WriteOnly);
    // Configured as an installation's broker should be: without Nagle's
    // algorithm a device's message is not held back behind the last one.
    conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\nlog_dest none\nset_tcp_nodelay true\n%2")
                   .arg(brokerPort)
                   .arg(::getuid() == 0 ? QStringLiteral("user root\n") : QString())
                   .toUtf8());
    conf.close();
    QProcess broker;
    broker.start(QStringLiteral("/usr/sbin/mosquitto"), {QStringLiteral("-c"), conf.fileName()});
    for (int i = 0; i < 100; ++i) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, brokerPort);
        if (probe.waitForConnected(100))
            break;
        QThread::msleep(50);
    }

    QFile ini(dir.filePath("bridge.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write(
        QStringLiteral("[broker]\nurl = mqtt://127.0.0.1:%1\nprefix = bench\n[panel]\nuser = demo\npassword = demo\n")
            .arg(brokerPort)
            .toUtf8());
    for (int port = 0; z2m && port < ports; ++port)
        ini.write(QStringLiteral("[IN.B.%1]\nstate = zigbee2mqtt/sensor_%1\nvalue = power\n").arg(port).toUtf8());
    ini.close();
    QProcess bridge;
    bridge.start(
        QCoreApplication::applicationDirPath() + QStringLiteral("/../msgserver-mqtt"),
        {QStringLiteral("--config"), ini.fileName(), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
    QByteArray out;
    while (!out.contains("connected\n") && bridge.waitForReadyRead(10000))
        out += bridge.readAllStandardOutput();
    const int at = out.indexOf("listening on ");
    const quint16 bridgePort = quint16(out.mid(out.lastIndexOf(':', out.indexOf('\n', at)) + 1,
                                               out.indexOf('\n', at) - out.lastIndexOf(':', out.indexOf('\n', at)) - 1)
                                           .toUInt());
    if (!bridgePort || !out.contains("connected")) {
        std::fprintf(stderr, "bench_mqtt: the bridge did not start: %s\n", out.constData());
        return 1;
    }

    QalixMsgClient::Settings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = bridgePort;
    settings.userName = settings.password = QStringLiteral("demo");
    QalixMsgClient client(settings);
    // Written by the publisher thread, read here.
    std::unique_ptr<std::atomic<qint64>[]> published(new std::atomic<qint64>[size_t(total)]());
    std::vector<qint64> delays;
    delays.reserve(size_t(total));
    std::vector<char> seen(size_t(total), 0);
    int received = 0;
    int duplicates = 0;
    QObject::connect(&client, &QalixMsgClient::received, [&](const QString &, int, bool, double value) {
        const qint64 t = nowUs();
        const int seq = int(value);
        if (seq < 0 || seq >= total || published[size_t(seq)].load() == 0)
            return;
        if (seen[size_t(seq)]) {
            ++duplicates;
            return;
        }
        seen[size_t(seq)] = 1;
        ++received;
        delays.push_back(t - published[size_t(seq)].load());
    });
    client.connectToServer();
    QElapsedTimer wait;
    wait.start();
    while (!client.isStarted() && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

    mosquitto_lib_init();
    mosquitto *pub = mosquitto_new("bench-publisher", true, nullptr);
    // One client sending 10,000 messages a second would otherwise wait on
    // Nagle's algorithm and the broker's delayed acknowledgements: timed here
    // are the broker and the bridge.
    mosquitto_int_option(pub, MOSQ_OPT_TCP_NODELAY, 1);
    if (mosquitto_connect(pub, "127.0.0.1", brokerPort, 30) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "bench_mqtt: the publisher cannot connect\n");
        return 1;
    }
    mosquitto_loop_start(pub);

    std::vector<std::pair<int, long>> memory; // messages sent, bridge KiB
    std::atomic<int> sent{0};
    const qint64 bridgePid = bridge.processId();
    memory.emplace_back(0, rssKiB(bridgePid));
    const long cpuAtStart = cpuMs(bridgePid);
    std::thread publisher([&] {
        const qint64 start = nowUs();
        for (int i = 0; i < total; ++i) {
            const qint64 due = start + qint64(i) * 1000000 / rate;
            // Woken once a millisecond for what is due by then: a wake-up per
            // message would take the bridge's core on a small machine.
            if (nowUs() < due)
                std::this_thread::sleep_until(Clock::time_point(std::chrono::microseconds(due + 1000)));
            const QByteArray topic = (z2m ? "zigbee2mqtt/sensor_" : "bench/IN/B/") + QByteArray::number(i % ports);
            // As a Zigbee2MQTT plug with metering reports, field order and all.
            const QByteArray payload = z2m
                ? R"({"current":0.12,"energy":12.34,"linkquality":134,"power":)" + QByteArray::number(i)
                    + R"(,"state":"ON","update":{"installed_version":-1,"latest_version":-1,)"
                      R"("state":null},"update_available":null,"voltage":231})"
                : QByteArray::number(i);
            published[size_t(i)] = nowUs();
            mosquitto_publish(pub, nullptr, topic.constData(), payload.size(), payload.constData(), qos, false);
            sent = i + 1;
        }
    });

    QTimer sampler;
    int nextSample = 100000;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (sent >= nextSample) {
            memory.emplace_back(int(sent), rssKiB(bridgePid));
            nextSample += 100000;
        }
    });
    sampler.start(50);
    QElapsedTimer run;
    run.start();
    qint64 lastProgress = 0;
    int lastReceived = -1;
    while (received < total) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (received != lastReceived) {
            lastReceived = received;
            lastProgress = run.elapsed();
        } else if (sent == total && run.elapsed() - lastProgress > 5000) {
            break; // nothing more is coming
        }
    }
    const double seconds = run.elapsed() / 1000.0;
    publisher.join();
    memory.emplace_back(total, rssKiB(bridgePid));
    const long cpu = cpuMs(bridgePid) - cpuAtStart;

    std::sort(delays.begin(), delays.end());
    const auto pct = [&](double p) {
        return delays.empty() ? -1.0 : delays[std::min(delays.size() - 1, size_t(p * delays.size()))] / 1000.0;
    };
    std::printf("%s payloads, QoS %d; messages published: %d at %d/s; reports received: %d (lost %d, repeated %d) "
                "in %.1f s\n",
                kind.constData(), qos, total, rate, received, total - received, duplicates, seconds);
    std::printf("publish to report line: median %.2f ms, 99th percentile %.2f ms, 99.9th %.2f ms, worst %.2f ms\n",
                pct(0.5), pct(0.99), pct(0.999), pct(1.0));
    std::printf("bridge CPU time: %ld ms, %.1f us a message\n", cpu, cpu * 1000.0 / total);
    std::printf("bridge resident memory (KiB) by messages sent:");
    for (const auto &m : memory)
        std::printf(" %d:%ld", m.first, m.second);
    std::printf("\n");

    mosquitto_loop_stop(pub, true);
    mosquitto_destroy(pub);
    bridge.terminate();
    bridge.waitForFinished();
    broker.terminate();
    broker.waitForFinished();
    return received == total ? 0 : 1;
}
