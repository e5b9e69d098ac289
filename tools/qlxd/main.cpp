// qlxd: packs, lists, extracts and serves project packages from the command line.

#include "commands.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>

namespace {

struct Command
{
    const char *name;
    int (*run)(const QStringList &args);
    const char *usage;
    const char *summary;
};

const Command commands[] = {
    {"pack", runPack, "pack OUT.qlxd DIR [--pause MS] [--header KEY=VALUE]...",
     "pack DIR/project, DIR/icons/* and DIR/background/* into a new package"},
    {"list", runList, "list PKG", "print the header properties and every entry with its size"},
    {"extract", runExtract, "extract PKG DIR", "write every entry below DIR (unsafe names are refused)"},
    {"serve", runServe,
     "serve PKG [--name NAME] [--port PORT] [--bind ADDRESS] [--piece-size BYTES] [--timeout MSEC]\n"
     "            [--pause MSEC] [--once]",
     "act as the designer computer: answer panels' discovery (UDP port 64402) and send them PKG\n"
     "      when they ask; runs until interrupted (--once: until one panel has it all)"},
};

void printUsage(QTextStream &stream)
{
    stream << "Usage: qlxd COMMAND ARGUMENTS...\n"
              "       qlxd --help | qlxd COMMAND --help\n\nCommands:\n";
    for (const Command &command : commands)
        stream << "  " << command.usage << "\n      " << command.summary << '\n';
    stream << "\nExit status: 0 on success, 1 when the work failed, 2 for a usage error.\n";
}

bool isHelp(const QString &arg)
{
    return arg == QLatin1String("--help") || arg == QLatin1String("-h") || arg == QLatin1String("help");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The library's debug lines are for developers, not for the tool's output.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const QStringList args = app.arguments().mid(1);

    if (args.isEmpty()) {
        printUsage(standardError());
        return ExitUsage;
    }
    if (isHelp(args.first())) {
        printUsage(standardOutput());
        return ExitOk;
    }
    for (const Command &command : commands) {
        if (args.first() != QLatin1String(command.name))
            continue;
        const QStringList rest = args.mid(1);
        if (rest.size() == 1 && isHelp(rest.first())) {
            standardOutput() << "Usage: qlxd " << command.usage << "\n  " << command.summary << '\n';
            return ExitOk;
        }
        const int code = command.run(rest);
        standardOutput().flush();
        standardError().flush();
        return code;
    }
    standardError() << "qlxd: unknown command \"" << printable(args.first()) << "\"\n\n";
    printUsage(standardError());
    return ExitUsage;
}
