// msgserver-sim: a message server stand-in for the demo, the tests and load and fault trials.

#include "core/net/msgline.h"
#include "tools/standins/msgserversim.h"
#include "tools/standins/standardinput.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

void say(const QString &text)
{
    out() << text << '\n';
    out().flush();
}

bool intOption(const QCommandLineParser &parser, const QString &name, int *value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int v = parser.value(name).toInt(&ok);
    if (!ok || v < 0) {
        std::fprintf(stderr, "msgserver-sim: --%s needs a number >= 0\n", qPrintable(name));
        return false;
    }
    *value = v;
    return true;
}

// The demo project's ports (demo/PORTS.md).
const char defaultPorts[] = "OUT.Kueche.1 switch 0\n"
                            "OUT.Wohnen.1 switch 1\n"
                            "OUT.Bad.1 switch 0\n"
                            "OUT.Flur.1 switch 0\n"
                            "OUT.Wohnen.2 switch 1\n"
                            "OUT.Bad.3 switch 0\n"
                            "OUT.Zentral.1 alloff 0\n"
                            "IN.Haustuer.1 contact 0\n"
                            "IN.Alarm.1 fixed 0\n"
                            "IN.Heizung.1 contact 1\n"
                            "IN.Kueche.1 temperature 21.5\n"
                            "IN.Wohnen.1 temperature 22\n"
                            "IN.Aussen.1 temperature -1.5\n"
                            "IN.Bad.2 fixed 55\n";

const char controlHelp[] = "commands: silent on|off, refuse on|off, drop, malformed, overlong, burst N, rate N,\n"
                           "          unknown ADDRESS, stop, start, status, quit";

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("msgserver-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Message server simulator: a TCP server speaking the server side of the panel's message\n"
                       "protocol. It checks the login, answers the configuration lines, reports its ports after\n"
                       "the start request (error 5 while not ready), applies every port command and reports it\n"
                       "back, and lets temperatures drift and contacts open and close.\n"
                       "Port list file: one port a line, \"IN.Aussen.1 temperature 8.5\"; kinds switch,\n"
                       "temperature, contact, fixed, alloff; \"#\" starts a comment. Ports that a client commands but\n"
                       "the list lacks are added as switches."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("address"), QStringLiteral("Listen on <address> (default 127.0.0.1)."),
         QStringLiteral("address"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("port"),
         QStringLiteral("Listen on <port> (default 64401); 0 picks a free one. The chosen port is printed."),
         QStringLiteral("port"), QStringLiteral("64401")},
        {QStringLiteral("user"), QStringLiteral("Accepted user name (default demo)."), QStringLiteral("name"),
         QStringLiteral("demo")},
        {QStringLiteral("password"), QStringLiteral("Accepted password (default demo)."), QStringLiteral("password"),
         QStringLiteral("demo")},
        {QStringLiteral("ports"), QStringLiteral("Read the port list from <file> instead of the built-in demo list."),
         QStringLiteral("file")},
        {QStringLiteral("ready-after"),
         QStringLiteral("Answer the start request with error 5 for <ms> after start (default 2000)."),
         QStringLiteral("ms"), QStringLiteral("2000")},
        {QStringLiteral("interval"),
         QStringLiteral("Input simulation step in <ms> (default 1000; 0 freezes the inputs)."), QStringLiteral("ms"),
         QStringLiteral("1000")},
        {QStringLiteral("rate"), QStringLiteral("Load: <n> extra reports per second to every started client."),
         QStringLiteral("n")},
        {QStringLiteral("burst"),
         QStringLiteral("Load: <n> reports with new values to each client after its start request."),
         QStringLiteral("n")},
        {QStringLiteral("silent"), QStringLiteral("Fault: accept connections, read everything, answer nothing.")},
        {QStringLiteral("refuse-login"), QStringLiteral("Fault: refuse every login.")},
        {QStringLiteral("drop-after"), QStringLiteral("Fault: drop each client <ms> after its start request."),
         QStringLiteral("ms")},
        {QStringLiteral("malformed"), QStringLiteral("Fault: every <ms> send a batch of malformed lines."),
         QStringLiteral("ms")},
        {QStringLiteral("overlong-after"),
         QStringLiteral("Fault: <ms> after each start request send a line of 70 KiB without line feed."),
         QStringLiteral("ms")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the contact simulation."), QStringLiteral("n")},
        {QStringLiteral("control"), QStringLiteral("Read commands from standard input: ") + QLatin1String(controlHelp)},
        {QStringLiteral("verbose"), QStringLiteral("Print every line a client sends.")},
    });
    parser.process(app);

    int port = 64401, readyAfter = 2000, interval = 1000, rate = 0, burst = 0;
    int dropAfter = 0, malformed = 0, overlongAfter = 0, seed = 4401;
    if (!intOption(parser, QStringLiteral("port"), &port)
        || !intOption(parser, QStringLiteral("ready-after"), &readyAfter)
        || !intOption(parser, QStringLiteral("interval"), &interval)
        || !intOption(parser, QStringLiteral("rate"), &rate) || !intOption(parser, QStringLiteral("burst"), &burst)
        || !intOption(parser, QStringLiteral("drop-after"), &dropAfter)
        || !intOption(parser, QStringLiteral("malformed"), &malformed)
        || !intOption(parser, QStringLiteral("overlong-after"), &overlongAfter)
        || !intOption(parser, QStringLiteral("seed"), &seed))
        return 2;
    if (port > 65535) {
        std::fprintf(stderr, "msgserver-sim: --port must be 0..65535\n");
        return 2;
    }
    const QHostAddress address(parser.value(QStringLiteral("address")));
    if (address.isNull()) {
        std::fprintf(stderr, "msgserver-sim: not an address: %s\n",
                     qPrintable(parser.value(QStringLiteral("address"))));
        return 2;
    }

    MsgServerSim sim;
    sim.setSeed(quint32(seed));
    QString portList = QString::fromLatin1(defaultPorts);
    if (parser.isSet(QStringLiteral("ports"))) {
        QFile file(parser.value(QStringLiteral("ports")));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "msgserver-sim: cannot read %s\n", qPrintable(file.fileName()));
            return 2;
        }
        portList = QString::fromUtf8(file.readAll());
    }
    QString error;
    if (!sim.loadPorts(portList, &error)) {
        std::fprintf(stderr, "msgserver-sim: port list %s\n", qPrintable(error));
        return 2;
    }
    sim.setCredentials(parser.value(QStringLiteral("user")), parser.value(QStringLiteral("password")));
    sim.setReadyAfter(readyAfter);
    sim.setSimulationInterval(interval);
    sim.setReportRate(rate);
    sim.setBurstOnStart(burst);
    sim.setSilent(parser.isSet(QStringLiteral("silent")));
    sim.setRefuseLogin(parser.isSet(QStringLiteral("refuse-login")));
    sim.setDropAfter(dropAfter);
    sim.setMalformedInterval(malformed);
    sim.setOverlongAfter(overlongAfter);

    if (!sim.listen(address, quint16(port))) {
        std::fprintf(stderr, "msgserver-sim: cannot listen on %s:%d: %s\n", qPrintable(address.toString()), port,
                     qPrintable(sim.errorString()));
        return 1;
    }
    const quint16 chosenPort = sim.serverPort();
    say(QStringLiteral("msgserver-sim listening on %1:%2 with %3 ports")
            .arg(address.toString())
            .arg(chosenPort)
            .arg(sim.ports().size()));

    QObject::connect(&sim, &MsgServerSim::clientConnected, [] { say(QStringLiteral("client connected")); });
    QObject::connect(&sim, &MsgServerSim::clientStarted, [] { say(QStringLiteral("client started")); });
    QObject::connect(&sim, &MsgServerSim::clientGone, [] { say(QStringLiteral("client gone")); });
    QObject::connect(&sim, &MsgServerSim::portCommand, [](const QString &address, double value) {
        say(QStringLiteral("command %1=%2").arg(address, QString::number(value)));
    });
    if (parser.isSet(QStringLiteral("verbose"))) {
        QObject::connect(&sim, &MsgServerSim::lineReceived, [](const QByteArray &line) {
            say(QStringLiteral("< ") + QString::fromLatin1(MsgLine::withoutPassword(line)));
        });
    }

    if (parser.isSet(QStringLiteral("control"))) {
        auto *control = new StandardInput(&app);
        QObject::connect(control, &StandardInput::received, [&](const QByteArray &bytes) {
            static QByteArray input;
            input.append(bytes);
            if (input.size() > 4096)
                input.clear();
            const int lastLineFeed = input.lastIndexOf('\n');
            if (lastLineFeed < 0)
                return;
            const QString complete = QString::fromLocal8Bit(input.left(lastLineFeed));
            input.remove(0, lastLineFeed + 1);
            for (const QString &line : complete.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
                const QStringList words = line.simplified().split(QLatin1Char(' '));
                const QString command = words.value(0);
                const QString arg = words.value(1);
                if (command == QLatin1String("silent")) {
                    sim.setSilent(arg == QLatin1String("on"));
                } else if (command == QLatin1String("refuse")) {
                    sim.setRefuseLogin(arg == QLatin1String("on"));
                } else if (command == QLatin1String("drop")) {
                    const bool listening = sim.isListening();
                    sim.close();
                    if (listening)
                        sim.listen(address, chosenPort);
                } else if (command == QLatin1String("unknown")) {
                    if (!sim.markUnknown(arg)) {
                        say(QStringLiteral("not a port address: ") + arg);
                        continue;
                    }
                } else if (command == QLatin1String("malformed")) {
                    sim.sendMalformed();
                } else if (command == QLatin1String("overlong")) {
                    sim.sendOverlong();
                } else if (command == QLatin1String("burst")) {
                    sim.sendBurst(arg.toInt());
                } else if (command == QLatin1String("rate")) {
                    sim.setReportRate(arg.toInt());
                } else if (command == QLatin1String("stop")) {
                    sim.close();
                } else if (command == QLatin1String("start")) {
                    if (!sim.isListening() && !sim.listen(address, chosenPort))
                        say(QStringLiteral("cannot listen: ") + sim.errorString());
                } else if (command == QLatin1String("status")) {
                    say(QStringLiteral("%1, %2 clients, %3 started, %4 reports sent")
                            .arg(sim.isListening() ? "listening" : "stopped")
                            .arg(sim.clientCount())
                            .arg(sim.startedCount())
                            .arg(sim.reportsSent()));
                    continue;
                } else if (command == QLatin1String("quit")) {
                    QCoreApplication::quit();
                } else {
                    say(QLatin1String(controlHelp));
                    continue;
                }
                say(QStringLiteral("ok ") + line.simplified());
            }
        });
    }

    return app.exec();
}
