#include "commands.h"

#include "tools/standins/designerserver.h"
#include "core/download/transferprotocol.h"
#include "core/files/regularfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>

#include <QTextStream>

#include <climits>

namespace {

const char serveHelp[] = "usage: qlxd serve [options] PKG\n"
                         "\n"
                         "Serves the package PKG to panels the way the designer computer does:\n"
                         "answers the panels' discovery request \"HELLO\" with \"WAVE\", and a transfer\n"
                         "request \"START\" with the header NAME=SIZE, then with the Base64 piece at the\n"
                         "offset each acknowledgement names. Nothing is sent unasked: a lost datagram\n"
                         "stalls the transfer, and the panel reports it. The transfer ends with the last\n"
                         "piece. Runs until interrupted.\n"
                         "\n"
                         "options:\n"
                         "  --name NAME        project name announced to the panel\n"
                         "                     (default: PKG's file name without .qlxd)\n"
                         "  --port PORT        UDP port to listen on (default 64402, where panels send)\n"
                         "  --bind ADDRESS     local IPv4 address to listen on (default: all)\n"
                         "  --piece-size BYTES package bytes per piece, 1 to 3072 (default 3072)\n"
                         "  --timeout MSEC     give a transfer up after this long without an\n"
                         "                     acknowledgement (default 10000)\n"
                         "  --pause MSEC       wait before each piece, to watch a transfer (default 0)\n"
                         "  --once             exit after the first complete transfer\n"
                         "  -h, --help         this text\n";

void out(const QString &line)
{
    // Flushed line by line: the log is read while the server runs.
    standardOutput() << line << '\n';
    standardOutput().flush();
}

int usageError(const QString &message)
{
    return fail(QStringLiteral("serve"), message, ExitUsage);
}

bool takeNumber(const QStringList &args, int *i, int low, int high, int *value)
{
    if (*i + 1 >= args.size())
        return false;
    bool ok = false;
    const int number = args.at(++*i).toInt(&ok, 10);
    if (!ok || number < low || number > high)
        return false;
    *value = number;
    return true;
}

} // namespace

int runServe(const QStringList &args)
{
    QString packagePath;
    QString name;
    QHostAddress address(QHostAddress::AnyIPv4);
    int port = TransferProtocol::DesignerPort;
    int pieceSize = TransferProtocol::MaxPieceSize;
    int timeout = 10000;
    int pause = 0;
    bool once = false;

    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            standardOutput() << serveHelp;
            return ExitOk;
        } else if (arg == QLatin1String("--name") && i + 1 < args.size()) {
            name = args.at(++i);
        } else if (arg == QLatin1String("--bind") && i + 1 < args.size()) {
            address = QHostAddress(args.at(++i));
            if (address.protocol() != QAbstractSocket::IPv4Protocol)
                return usageError(QStringLiteral("--bind needs an IPv4 address"));
        } else if (arg == QLatin1String("--port")) {
            if (!takeNumber(args, &i, 0, 65535, &port))
                return usageError(QStringLiteral("--port needs a number from 0 to 65535"));
        } else if (arg == QLatin1String("--piece-size")) {
            if (!takeNumber(args, &i, 1, TransferProtocol::MaxPieceSize, &pieceSize))
                return usageError(
                    QStringLiteral("--piece-size needs a number from 1 to %1").arg(TransferProtocol::MaxPieceSize));
        } else if (arg == QLatin1String("--timeout")) {
            if (!takeNumber(args, &i, 1, 600000, &timeout))
                return usageError(QStringLiteral("--timeout needs a number from 1 to 600000"));
        } else if (arg == QLatin1String("--pause")) {
            if (!takeNumber(args, &i, 0, 600000, &pause))
                return usageError(QStringLiteral("--pause needs a number from 0 to 600000"));
        } else if (arg == QLatin1String("--once")) {
            once = true;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            return usageError(QStringLiteral("unknown option %1 (see --help)").arg(arg));
        } else if (packagePath.isEmpty()) {
            packagePath = arg;
        } else {
            return usageError(QStringLiteral("one package only (see --help)"));
        }
    }
    if (packagePath.isEmpty()) {
        standardError() << serveHelp;
        return ExitUsage;
    }

    // A FIFO would be waited for, a device read without end.
    QFile file;
    QString why;
    if (!RegularFile::open(file, packagePath, &why))
        return fail(QStringLiteral("serve"), QStringLiteral("can not read %1: %2").arg(packagePath, why));
    if (file.size() <= 0 || file.size() > INT_MAX)
        return fail(QStringLiteral("serve"),
                    QStringLiteral("%1: a package of %2 bytes can not be sent").arg(packagePath).arg(file.size()));
    const QByteArray package = file.readAll();

    if (name.isEmpty()) {
        name = QFileInfo(packagePath).fileName();
        if (name.endsWith(QLatin1String(".qlxd")))
            name.chop(5);
    }
    // A panel refuses any other name, so refuse it here already.
    if (!TransferProtocol::isPlainFileName(name) || name.contains(QLatin1Char('=')))
        return usageError(QStringLiteral("\"%1\" is no plain file name; choose one with --name").arg(name));

    DesignerServer server(name, package);
    server.setPieceSize(pieceSize);
    server.setTimeout(timeout);
    server.setPause(pause);
    if (!server.listen(address, quint16(port)))
        return fail(
            QStringLiteral("serve"),
            QStringLiteral("can not listen on %1:%2: %3").arg(address.toString()).arg(port).arg(server.errorString()));

    out(QStringLiteral("Serving %1 (%2 bytes in %3 pieces) on %4:%5")
            .arg(name)
            .arg(package.size())
            .arg(server.pieceCount())
            .arg(address.toString())
            .arg(server.localPort()));
    QObject::connect(&server, &DesignerServer::discovered,
                     [](const QString &panel) { out(QStringLiteral("HELLO from %1, answered WAVE").arg(panel)); });
    QObject::connect(&server, &DesignerServer::transferStarted, [](const QString &panel, quint16 from) {
        out(QStringLiteral("START from %1:%2").arg(panel).arg(from));
    });
    QObject::connect(&server, &DesignerServer::transferFinished, [&](const QString &panel) {
        out(QStringLiteral("Sent the last piece to %1").arg(panel));
        if (once)
            QCoreApplication::exit(0);
    });
    QObject::connect(&server, &DesignerServer::transferAbandoned, [&](const QString &panel) {
        out(QStringLiteral("No acknowledgement from %1, transfer given up").arg(panel));
    });
    return QCoreApplication::exec();
}
